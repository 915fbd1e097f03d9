#include "fake_platform.h"

#include <algorithm>
#include <memory>
#include <thread>
#include <utility>

namespace vantrel::platform {

// Counts itself in the fake that made it, even when that fake is being
// replaced by reset() while requests still hold the store.
struct Store {
  explicit Store(fake::Platform& owner) : owner(owner) { ++owner.storesAlive; }
  ~Store() { --owner.storesAlive; }
  fake::Platform& owner;
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;
};

struct Calendar {
  fake::Calendar values;
};

struct EventList {
  EventList(fake::Platform& owner, std::vector<fake::Event> events)
      : owner(owner), events(std::move(events)) {
    ++owner.eventListsAlive;
  }
  ~EventList() { --owner.eventListsAlive; }
  EventList(const EventList&) = delete;
  EventList& operator=(const EventList&) = delete;
  fake::Platform& owner;
  std::vector<fake::Event> events;
};

struct StoreWatch {
  StoreChanged changed;
};

}  // namespace vantrel::platform

namespace vantrel::fake {

namespace {
std::unique_ptr<Platform>& instance() {
  static std::unique_ptr<Platform> platform = std::make_unique<Platform>();
  return platform;
}
}  // namespace

Platform& platform() { return *instance(); }
void reset() { instance() = std::make_unique<Platform>(); }

void Platform::record(std::string call) {
  std::lock_guard lock(mutex);
  calls.push_back(std::move(call));
}

std::vector<std::string> Platform::callLog() {
  std::lock_guard lock(mutex);
  return calls;
}

int Platform::count(const std::string& call) {
  std::lock_guard lock(mutex);
  return static_cast<int>(std::count(calls.begin(), calls.end(), call));
}

void Platform::triggerChange() {
  std::lock_guard lock(watchMutex);
  for (platform::StoreWatch* watch : watches) watch->changed();
}

}  // namespace vantrel::fake

namespace vantrel::platform {

using fake::platform;

std::int64_t authorizationStatus() {
  platform().record("authorizationStatus");
  if (platform().statusFunction) return platform().statusFunction();
  return platform().status.load();
}

StoreRef newStore() {
  platform().record("newStore");
  ++platform().storesCreated;
  return std::make_shared<Store>(platform());
}

std::optional<std::vector<CalendarRef>> eventCalendars(Store&) {
  platform().record("eventCalendars");
  if (!platform().calendars) return std::nullopt;
  std::vector<CalendarRef> list;
  for (const auto& calendar : *platform().calendars) {
    list.push_back(std::make_shared<const Calendar>(Calendar{calendar}));
  }
  return list;
}

std::optional<std::string> calendarIdentifier(const Calendar& calendar) {
  return calendar.values.id;
}
std::optional<std::string> calendarTitle(const Calendar& calendar) {
  return calendar.values.title;
}
std::optional<std::string> calendarSourceTitle(const Calendar& calendar) {
  return calendar.values.sourceTitle;
}
std::optional<std::vector<double>> calendarColorComponents(const Calendar& calendar) {
  return calendar.values.color;
}

EventListRef eventsMatching(Store&, Instant start, Instant end,
                            const std::vector<CalendarRef>& calendars) {
  platform().record("eventsMatching");
  platform().queryStart = start;
  platform().queryEnd = end;
  platform().queries.emplace_back(start, end);
  platform().queryCalendarIds.clear();
  for (const auto& calendar : calendars) {
    platform().queryCalendarIds.push_back(calendar->values.id);
  }
  if (platform().answerQuery) {
    return std::make_shared<const EventList>(platform(), platform().answerQuery(start, end));
  }
  return std::make_shared<const EventList>(platform(), platform().events);
}

std::size_t eventCount(const EventList& events) { return events.events.size(); }

void readEvent(const EventList& events, std::size_t index, EventValues& into) {
  const auto& event = events.events.at(index);
  into.itemIdentifier = event.itemId;
  into.calendarIdentifier = event.calendarId;
  into.title = event.title;
  into.location = event.location;
  into.start = event.start;
  into.end = event.end;
  into.isAllDay = event.isAllDay;
  into.occurrenceDate = event.start;
  const auto moved =
      platform().occurrenceDates.find({event.itemId.value_or(""), event.start.value_or(0)});
  if (moved != platform().occurrenceDates.end()) into.occurrenceDate = moved->second;
}

const EventDetailValues& readEventDetails(const EventList& events, std::size_t index,
                                          EventDetailValues& into) {
  platform().record("readEventDetails");
  const auto found = platform().details.find(events.events.at(index).itemId.value_or(""));
  into = found == platform().details.end() ? EventDetailValues{} : found->second;
  return into;
}

void requestFullAccess(const StoreRef& store, AccessCompletion completion) {
  platform().record("requestFullAccess");
  fake::PendingRequest request{store, std::move(completion)};
  if (platform().onRequest) {
    platform().onRequest(std::move(request));
    return;
  }
  std::lock_guard lock(platform().mutex);
  platform().pending.push_back(std::move(request));
}

// A thread of its own, waited for, so the tests read the answer right after.
void runOnOwnThread(std::function<void()> work) {
  platform().record("runOnOwnThread");
  if (platform().refuseOwnThread) throw PlatformError("no thread can be started");
  std::thread(std::move(work)).join();
}

void activateApplication() { platform().record("activateApplication"); }

std::optional<std::string> mainBundleIdentifier() {
  platform().record("mainBundleIdentifier");
  return platform().bundleId;
}

std::optional<std::string> mainBundleExecutablePath() {
  platform().record("mainBundleExecutablePath");
  return platform().executablePath;
}

std::vector<std::string> processArguments() {
  platform().record("processArguments");
  return platform().arguments;
}

StoreWatch* startStoreWatch(StoreChanged changed) {
  platform().record("startStoreWatch");
  if (platform().refuseWatch) return nullptr;
  auto* watch = new StoreWatch{std::move(changed)};
  std::lock_guard lock(platform().watchMutex);
  platform().watches.push_back(watch);
  ++platform().watchesRunning;
  return watch;
}

void stopStoreWatch(StoreWatch* watch) {
  platform().record("stopStoreWatch");
  std::lock_guard lock(platform().watchMutex);
  auto& watches = platform().watches;
  watches.erase(std::remove(watches.begin(), watches.end(), watch), watches.end());
  --platform().watchesRunning;
  delete watch;
}

bool onMainThread() { return true; }

void turnMainRunLoop() { platform().record("turnMainRunLoop"); }

double now() { return platform().clock; }

void runLoopStep(double seconds) {
  platform().record("runLoopStep");
  platform().clock += seconds;
  if (platform().onRunLoopStep) platform().onRunLoopStep();
}

}  // namespace vantrel::platform
