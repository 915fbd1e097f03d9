// The one place that picks the store behind platform.h on Linux: the stand-in
// whenever VANTREL_STANDIN_STORE is set and non-empty (as the host handed it in
// for this call, see layer_variable.h, or else the environment), the desktop's
// calendar service otherwise. Each object keeps the store that made it, so a
// read begun on one store ends on it; a thread started for a call (an access
// answer, work on a thread of the layer's own) keeps that call's choice, since
// a host may change the variable meanwhile. Built without the service
// (VANTREL_CALENDAR_SERVICE 0), every call goes to the stand-in.
#include <string.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "platform.h"
#include "standin_current_document.h"
#include "standin_process.h"
#include "standin_store.h"
#include "vantrel_host.h"
#include "calendar_store_eds.h"

namespace vantrel::platform {

namespace service = eds_store;

struct Store {
  standin_store::StoreRef standin;
  service::StoreRef eds;
};

struct Calendar {
  standin_store::CalendarRef standin;
  service::CalendarRef eds;
};

struct EventList {
  standin_store::EventListRef standin;
  service::EventListRef eds;
};

struct StoreWatch {
  standin_store::StoreWatch* standin = nullptr;
  service::StoreWatch* eds = nullptr;
};

namespace {

// The choices of threads started for a call. Not a thread_local, for the
// reason the stand-in's own overrides are not one (dynamic TLS in a module).
class PinnedChoices {
 public:
  void push(bool eds) {
    const std::lock_guard lock(mutex_);
    pins_.emplace_back(std::this_thread::get_id(), eds);
    size_.store(pins_.size(), std::memory_order_release);
  }
  void pop() {
    const std::lock_guard lock(mutex_);
    const auto own = std::find_if(pins_.rbegin(), pins_.rend(), [](const auto& pin) {
      return pin.first == std::this_thread::get_id();
    });
    if (own != pins_.rend()) pins_.erase(std::next(own).base());
    size_.store(pins_.size(), std::memory_order_release);
  }
  std::optional<bool> latest() {
    if (size_.load(std::memory_order_acquire) == 0) return std::nullopt;
    const std::lock_guard lock(mutex_);
    const auto own = std::find_if(pins_.rbegin(), pins_.rend(), [](const auto& pin) {
      return pin.first == std::this_thread::get_id();
    });
    return own != pins_.rend() ? std::optional<bool>(own->second) : std::nullopt;
  }

 private:
  std::mutex mutex_;
  std::vector<std::pair<std::thread::id, bool>> pins_;
  std::atomic<std::size_t> size_{0};
};

// Never destroyed: a detached answering thread may outlive static destruction.
PinnedChoices& pinnedChoices() {
  static auto* const instance = new PinnedChoices;
  return *instance;
}

class PinChoice {
 public:
  explicit PinChoice(bool eds) { pinnedChoices().push(eds); }
  ~PinChoice() { pinnedChoices().pop(); }
  PinChoice(const PinChoice&) = delete;
  PinChoice& operator=(const PinChoice&) = delete;
};

bool serviceChosen() {
#if VANTREL_CALENDAR_SERVICE
  if (const auto pinned = pinnedChoices().latest()) return *pinned;
  return standin::currentDocumentPath().empty();
#else
  return false;
#endif
}

}  // namespace

std::int64_t authorizationStatus() {
  return serviceChosen() ? service::authorizationStatus() : standin_store::authorizationStatus();
}

}  // namespace vantrel::platform

extern "C" char* vantrel_unavailable_reason(void) {
  using namespace vantrel::platform;
  if (!serviceChosen()) return nullptr;
  try {
    const auto why = service::unavailableReason();
    return why ? strdup(why->c_str()) : nullptr;
  } catch (...) {
    return nullptr;
  }
}

namespace vantrel::platform {

StoreRef newStore() {
  auto store = std::make_shared<Store>();
  if (serviceChosen()) {
    store->eds = service::newStore();
  } else {
    store->standin = standin_store::newStore();
  }
  return store;
}

std::optional<std::vector<CalendarRef>> eventCalendars(Store& store) {
  std::vector<CalendarRef> wrapped;
  if (store.eds) {
    auto calendars = service::eventCalendars(*store.eds);
    if (!calendars) return std::nullopt;
    wrapped.reserve(calendars->size());
    for (auto& calendar : *calendars) {
      wrapped.push_back(std::make_shared<const Calendar>(Calendar{nullptr, std::move(calendar)}));
    }
  } else {
    auto calendars = standin_store::eventCalendars(*store.standin);
    if (!calendars) return std::nullopt;
    wrapped.reserve(calendars->size());
    for (auto& calendar : *calendars) {
      wrapped.push_back(std::make_shared<const Calendar>(Calendar{std::move(calendar), nullptr}));
    }
  }
  return wrapped;
}

std::optional<std::string> calendarIdentifier(const Calendar& calendar) {
  return calendar.eds ? service::calendarIdentifier(*calendar.eds)
                      : standin_store::calendarIdentifier(*calendar.standin);
}

std::optional<std::string> calendarTitle(const Calendar& calendar) {
  return calendar.eds ? service::calendarTitle(*calendar.eds)
                      : standin_store::calendarTitle(*calendar.standin);
}

std::optional<std::string> calendarSourceTitle(const Calendar& calendar) {
  return calendar.eds ? service::calendarSourceTitle(*calendar.eds)
                      : standin_store::calendarSourceTitle(*calendar.standin);
}

std::optional<std::vector<double>> calendarColorComponents(const Calendar& calendar) {
  return calendar.eds ? service::calendarColorComponents(*calendar.eds)
                      : standin_store::calendarColorComponents(*calendar.standin);
}

// A calendar of the other store matches no event of this one.
EventListRef eventsMatching(Store& store, Instant start, Instant end,
                            const std::vector<CalendarRef>& calendars) {
  auto list = std::make_shared<EventList>();
  if (store.eds) {
    std::vector<service::CalendarRef> own;
    own.reserve(calendars.size());
    for (const CalendarRef& calendar : calendars) {
      if (calendar && calendar->eds) own.push_back(calendar->eds);
    }
    list->eds = service::eventsMatching(*store.eds, start, end, own);
  } else {
    std::vector<standin_store::CalendarRef> own;
    own.reserve(calendars.size());
    for (const CalendarRef& calendar : calendars) {
      if (calendar && calendar->standin) own.push_back(calendar->standin);
    }
    list->standin = standin_store::eventsMatching(*store.standin, start, end, own);
  }
  return list;
}

std::size_t eventCount(const EventList& events) {
  return events.eds ? service::eventCount(*events.eds) : standin_store::eventCount(*events.standin);
}

void readEvent(const EventList& events, std::size_t index, EventValues& into) {
  if (events.eds) {
    service::readEvent(*events.eds, index, into);
  } else {
    standin_store::readEvent(*events.standin, index, into);
  }
}

const EventDetailValues& readEventDetails(const EventList& events, std::size_t index,
                                          EventDetailValues& into) {
  if (events.eds) {
    return service::readEventDetails(*events.eds, index, into);
  } else {
    return standin_store::readEventDetails(*events.standin, index, into);
  }
}

// The service has no dialog: its status never asks (it is never
// notDetermined), and an answer is the status as it stands.
void requestFullAccess(const StoreRef& store, AccessCompletion completion) {
  if (store && store->eds) {
    const PinChoice pin(true);
    completion(authorizationStatus() == static_cast<std::int64_t>(AuthorizationStatus::fullAccess),
               std::nullopt);
    return;
  }
  standin_store::requestFullAccess(
      store ? store->standin : nullptr,
      [completion = std::move(completion)](bool granted, std::optional<std::string> error) {
        const PinChoice pin(false);
        completion(granted, std::move(error));
      });
}

void runOnOwnThread(std::function<void()> work) {
  if (!serviceChosen()) {
    standin_store::runOnOwnThread([work = std::move(work)] {
      const PinChoice pin(false);
      work();
    });
    return;
  }
  try {
    std::thread([work = std::move(work)] {
      const PinChoice pin(true);
      work();
    }).detach();
  } catch (const std::system_error& error) {
    throw PlatformError(std::string("calendar service: cannot start a thread (") + error.what() +
                        ")");
  }
}

void activateApplication() {}

std::optional<std::string> mainBundleIdentifier() {
  if (serviceChosen()) return std::nullopt;
  return standin_store::mainBundleIdentifier();
}

std::optional<std::string> mainBundleExecutablePath() {
  if (serviceChosen()) return standin::realExecutablePath();
  return standin_store::mainBundleExecutablePath();
}

std::vector<std::string> processArguments() {
  if (serviceChosen()) return standin::realProcessArguments();
  return standin_store::processArguments();
}

StoreWatch* startStoreWatch(StoreChanged changed) {
  auto watch = std::make_unique<StoreWatch>();
  if (serviceChosen()) {
    watch->eds = service::startStoreWatch(std::move(changed));
    if (watch->eds == nullptr) return nullptr;
  } else {
    watch->standin = standin_store::startStoreWatch(std::move(changed));
    if (watch->standin == nullptr) return nullptr;
  }
  return watch.release();
}

void stopStoreWatch(StoreWatch* watch) {
  if (watch == nullptr) return;
  if (watch->eds != nullptr) service::stopStoreWatch(watch->eds);
  if (watch->standin != nullptr) standin_store::stopStoreWatch(watch->standin);
  delete watch;
}

// The clock and the run loop are the stand-in's for both stores: the service
// needs no loop of the caller's (its watch has a thread and context of its
// own), and the stand-in's changes and answers wait for these.
double now() { return standin_store::now(); }
void runLoopStep(double seconds) { standin_store::runLoopStep(seconds); }
bool onMainThread() { return standin_store::onMainThread(); }
void turnMainRunLoop() { standin_store::turnMainRunLoop(); }

}  // namespace vantrel::platform

#if !VANTREL_CALENDAR_SERVICE
// Built without the service: nothing of it is ever made, so none of these runs.
namespace vantrel::platform::eds_store {
namespace {
[[noreturn]] void absent() { throw PlatformError("calendar service: not in this build"); }
}  // namespace
std::int64_t authorizationStatus() { absent(); }
std::optional<std::string> unavailableReason() { absent(); }
StoreRef newStore() { absent(); }
std::optional<std::vector<CalendarRef>> eventCalendars(Store&) { absent(); }
std::optional<std::string> calendarIdentifier(const Calendar&) { absent(); }
std::optional<std::string> calendarTitle(const Calendar&) { absent(); }
std::optional<std::string> calendarSourceTitle(const Calendar&) { absent(); }
std::optional<std::vector<double>> calendarColorComponents(const Calendar&) { absent(); }
EventListRef eventsMatching(Store&, Instant, Instant, const std::vector<CalendarRef>&) { absent(); }
std::size_t eventCount(const EventList&) { absent(); }
void readEvent(const EventList&, std::size_t, EventValues&) { absent(); }
const EventDetailValues& readEventDetails(const EventList&, std::size_t, EventDetailValues&) {
  absent();
}
StoreWatch* startStoreWatch(StoreChanged) { absent(); }
void stopStoreWatch(StoreWatch*) { absent(); }
}  // namespace vantrel::platform::eds_store
#endif
