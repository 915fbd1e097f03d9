#include "memory_platform.h"

#include <chrono>
#include <memory>

namespace vantrel::platform {

struct Store {};

struct Calendar {
  const bench::MemoryCalendar* values;
};

struct EventList {
  const std::vector<bench::MemoryEvent>* events;
};

}  // namespace vantrel::platform

namespace vantrel::bench {
namespace {
const MemoryStore* current = nullptr;

const MemoryStore& store() {
  static const MemoryStore empty;
  return current != nullptr ? *current : empty;
}

// As a platform layer does: assign into the reused text, keeping its capacity.
void assign(std::optional<std::string>& into, const std::optional<std::string>& value) {
  if (!value) {
    into.reset();
  } else if (into) {
    into->assign(*value);
  } else {
    into.emplace(*value);
  }
}
}  // namespace

void useMemoryStore(const MemoryStore& memoryStore) { current = &memoryStore; }

}  // namespace vantrel::bench

namespace vantrel::platform {

std::int64_t authorizationStatus() { return 3; }

StoreRef newStore() { return std::make_shared<Store>(); }

std::optional<std::vector<CalendarRef>> eventCalendars(Store&) {
  const auto& calendars = bench::store().calendars;
  std::vector<CalendarRef> list;
  list.reserve(calendars.size());
  for (const auto& calendar : calendars) {
    list.push_back(std::make_shared<const Calendar>(Calendar{&calendar}));
  }
  return list;
}

std::optional<std::string> calendarIdentifier(const Calendar& calendar) {
  return calendar.values->identifier;
}
std::optional<std::string> calendarTitle(const Calendar& calendar) {
  return calendar.values->title;
}
std::optional<std::string> calendarSourceTitle(const Calendar& calendar) {
  return calendar.values->sourceTitle;
}
std::optional<std::vector<double>> calendarColorComponents(const Calendar& calendar) {
  return calendar.values->colorComponents;
}

EventListRef eventsMatching(Store&, Instant, Instant, const std::vector<CalendarRef>&) {
  return std::make_shared<const EventList>(EventList{&bench::store().events});
}

std::size_t eventCount(const EventList& events) { return events.events->size(); }

void readEvent(const EventList& events, std::size_t index, EventValues& into) {
  const bench::MemoryEvent& event = (*events.events)[index];
  bench::assign(into.itemIdentifier, event.itemIdentifier);
  if (into.calendarIdentifier) {
    into.calendarIdentifier->assign(event.calendarIdentifier);
  } else {
    into.calendarIdentifier.emplace(event.calendarIdentifier);
  }
  bench::assign(into.title, event.title);
  bench::assign(into.location, event.location);
  into.start = event.start;
  into.end = event.end;
  into.isAllDay = event.isAllDay;
}

// The snapshot benchmark's events carry no meeting-note values.
const EventDetailValues& readEventDetails(const EventList&, std::size_t, EventDetailValues& into) {
  return into = {};
}

// Access is always granted already: the benchmark never asks.
void requestFullAccess(const StoreRef&, AccessCompletion completion) {
  if (completion) completion(true, std::nullopt);
}

// Never reached: a request that is never made has no answer to hand over.
void runOnOwnThread(std::function<void()> work) { work(); }

void activateApplication() {}

std::optional<std::string> mainBundleIdentifier() { return std::string("com.tavimo.bench"); }
std::optional<std::string> mainBundleExecutablePath() { return std::nullopt; }
std::vector<std::string> processArguments() { return {}; }

// An array in memory never changes.
StoreWatch* startStoreWatch(StoreChanged) { return nullptr; }
void stopStoreWatch(StoreWatch*) {}

double now() {
  return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

void runLoopStep(double) {}
bool onMainThread() { return false; }
void turnMainRunLoop() {}

}  // namespace vantrel::platform
