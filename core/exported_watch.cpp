// The two C functions of tavimo_calendar.h that watch the store's changes. No
// exception may leave them: a watch that cannot start is NULL.
#include "vantrel_host.h"

#include <cstdlib>
#include <cstring>
#include <system_error>
#include <utility>

#include "bridge_failure.h"
#include "change_watch.h"
#include "tavimo_calendar.h"

struct tavimo_calendar_watch {
  explicit tavimo_calendar_watch(std::function<void()> changed) : watch(std::move(changed)) {}
  vantrel::ChangeWatch watch;
};

extern "C" {

tavimo_calendar_watch* vantrel_watch_changes(tavimo_calendar_change_callback callback,
                                             void* context, char** failure) {
  *failure = nullptr;
  if (callback == nullptr) return nullptr;
  try {
    return new tavimo_calendar_watch([callback, context] { callback(context); });
  } catch (const vantrel::PlatformError& error) {
    *failure = strdup(error.what());
  } catch (const std::system_error&) {
    *failure = strdup("Calendar changes cannot be watched: no thread could be started.");
  } catch (...) {
  }
  return nullptr;
}

tavimo_calendar_watch* tavimo_calendar_watch_changes(tavimo_calendar_change_callback callback,
                                                     void* context) {
  char* failure = nullptr;
  tavimo_calendar_watch* watch = vantrel_watch_changes(callback, context, &failure);
  std::free(failure);
  return watch;
}

void tavimo_calendar_watch_stop(tavimo_calendar_watch* watch) { delete watch; }

}  // extern "C"
