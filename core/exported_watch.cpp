// The two C functions of tavimo_calendar.h that watch the store's changes. No
// exception may leave them: a watch that cannot start is NULL.
#include <utility>

#include "change_watch.h"
#include "tavimo_calendar.h"

struct tavimo_calendar_watch {
  explicit tavimo_calendar_watch(std::function<void()> changed) : watch(std::move(changed)) {}
  vantrel::ChangeWatch watch;
};

extern "C" {

tavimo_calendar_watch* tavimo_calendar_watch_changes(tavimo_calendar_change_callback callback,
                                                     void* context) {
  if (callback == nullptr) return nullptr;
  try {
    return new tavimo_calendar_watch([callback, context] { callback(context); });
  } catch (...) {
    return nullptr;
  }
}

void tavimo_calendar_watch_stop(tavimo_calendar_watch* watch) { delete watch; }

}  // extern "C"
