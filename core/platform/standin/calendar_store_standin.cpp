// The platform layer of every non-macOS build: answers the bridge's platform
// operations from the JSON document that VANTREL_STANDIN_STORE names, so the
// whole bridge runs and is tested end to end without EventKit.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#include "platform.h"
#include "standin_current_document.h"
#include "standin_document.h"
#include "standin_permission_state.h"

namespace vantrel::platform {

// A store sees one document for its whole life, so one snapshot read is
// consistent even when the file changes half way.
struct Store {
  std::shared_ptr<const standin::Document> document;
};

// A calendar of the store's document, which it keeps alive.
struct Calendar {
  std::shared_ptr<const standin::Document> document;
  const standin::DocumentCalendar& values;
};

struct EventList {
  std::shared_ptr<const standin::Document> document;
  std::vector<std::size_t> indices;  // into the document's events
};

namespace {

// EventKit answers "within a four year timespan" and shortens a longer range
// "to the first four years"; the stand-in does the same, so the bridge's
// windows are tested here.
constexpr double kLongestQuerySeconds = 1460.0 * 86400.0;

// Longest single wait, so that a huge delay or step cannot overflow the
// clocks' integer durations; effectively "never".
constexpr double kLongestWaitSeconds = 1e9;

using AccessState = standin::PermissionState;

AccessState& accessState() { return standin::permissionState(); }

void sleepMilliseconds(double milliseconds) {
  if (milliseconds <= 0) return;
  std::this_thread::sleep_for(
      std::chrono::duration<double>(std::min(milliseconds / 1000, kLongestWaitSeconds)));
}

// The status changes first (after its lag), so the completion already sees the
// answer's status.
void deliver(const Store& store, const standin::AccessAnswer& answer,
             const AccessCompletion& completion) {
  AccessState& state = accessState();
  {
    const std::lock_guard lock(state.mutex);
    const auto now = std::chrono::steady_clock::now();
    const auto earlier = state.answered.find(store.document->identity);
    const std::int64_t before =
        earlier == state.answered.end() ? store.document->status : earlier->second.at(now);
    const auto lag = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
        std::chrono::duration<double>(std::min(answer.statusLagMs / 1000, kLongestWaitSeconds)));
    state.answered.insert_or_assign(store.document->identity,
                                    standin::AnsweredStatus{before, answer.statusAfter, now + lag});
  }
  // Wake the run loop even if the completion throws.
  struct Notify {
    AccessState& state;
    ~Notify() {
      {
        const std::lock_guard lock(state.mutex);
        ++state.deliveries;
      }
      state.delivered.notify_all();
    }
  } notify{state};
  // Whatever the completion asks of the platform, it asks of the request's
  // document: the variable is not read on the answering thread.
  const standin::ThreadDocument requestDocument(store.document);
  if (completion) completion(answer.granted, answer.error);
}

void assignText(std::optional<std::string>& into, const std::string& text) {
  if (into) {
    into->assign(text);  // keeps the reused text's capacity
  } else {
    into.emplace(text);
  }
}

void assignText(std::optional<std::string>& into, const std::optional<std::string>& text) {
  if (text) {
    assignText(into, *text);
  } else {
    into.reset();
  }
}

}  // namespace

std::int64_t authorizationStatus() {
  const auto document = standin::currentDocumentOrUnset();
  AccessState& state = accessState();
  const std::lock_guard lock(state.mutex);
  const auto answered = state.answered.find(document->identity);
  if (answered == state.answered.end()) return document->status;
  return answered->second.at(std::chrono::steady_clock::now());
}

StoreRef newStore() { return std::make_shared<Store>(Store{standin::currentDocument()}); }

std::optional<std::vector<CalendarRef>> eventCalendars(Store& store) {
  const auto& document = store.document;
  if (!document->calendars) return std::nullopt;
  std::vector<CalendarRef> calendars;
  calendars.reserve(document->calendars->size());
  for (const standin::DocumentCalendar& calendar : *document->calendars) {
    calendars.push_back(std::make_shared<const Calendar>(Calendar{document, calendar}));
  }
  return calendars;
}

std::optional<std::string> calendarIdentifier(const Calendar& calendar) {
  return calendar.values.identifier;
}

std::optional<std::string> calendarTitle(const Calendar& calendar) {
  return calendar.values.title;
}

std::optional<std::string> calendarSourceTitle(const Calendar& calendar) {
  return calendar.values.sourceTitle;
}

std::optional<std::vector<double>> calendarColorComponents(const Calendar& calendar) {
  return calendar.values.colorComponents;
}

EventListRef eventsMatching(Store& store, Instant start, Instant end,
                            const std::vector<CalendarRef>& calendars) {
  const auto& document = store.document;
  auto list = std::make_shared<EventList>();
  list->document = document;

  // Calendars match by identifier, so calendars of another store serve too.
  std::vector<char> selected(document->eventCalendarIds.size(), 0);
  bool anySelected = false;
  for (const CalendarRef& calendar : calendars) {
    if (!calendar || !calendar->values.identifier) continue;
    const auto key = document->calendarKeys.find(*calendar->values.identifier);
    if (key == document->calendarKeys.end()) continue;
    selected[key->second] = 1;
    anySelected = true;
  }
  if (!anySelected) return list;
  if (end - start > kLongestQuerySeconds) end = start + kLongestQuerySeconds;

  const auto& spans = document->eventSpans;
  for (std::size_t i = 0; i < spans.size(); ++i) {
    const standin::EventSpan& span = spans[i];
    // Overlap: starts before the end and ends after the start; of the events
    // that end at the start, only one of zero length there counts. An event
    // that ends before it starts is held to the same rule.
    if (selected[span.calendarKey] && span.start < end &&
        (span.end > start || (span.end == start && span.start == start))) {
      list->indices.push_back(i);
    }
  }
  return list;
}

std::size_t eventCount(const EventList& events) { return events.indices.size(); }

void readEvent(const EventList& events, std::size_t index, EventValues& into) {
  if (index >= events.indices.size()) {
    throw PlatformError("stand-in store: event " + std::to_string(index) + " of " +
                        std::to_string(events.indices.size()) + " asked for");
  }
  const standin::Document& document = *events.document;
  const std::size_t event = events.indices[index];
  const standin::EventSpan& span = document.eventSpans[event];
  const standin::EventTexts& texts = document.eventTexts[event];
  assignText(into.itemIdentifier, texts.identifier);
  assignText(into.calendarIdentifier, document.eventCalendarIds[span.calendarKey]);
  assignText(into.title, texts.title);
  assignText(into.location, texts.location);
  into.start = span.start;
  into.end = span.end;
  into.isAllDay = texts.isAllDay;
}

void requestFullAccess(const StoreRef& store, AccessCompletion completion) {
  if (!store) throw PlatformError("stand-in store: access requested without a store");
  const StoreRef keep = store;  // whatever the completion lets go of
  const auto& answer = keep->document->request;
  // Never answered: nothing will call the completion, so nothing keeps it.
  if (!answer) return;
  if (answer->onCallerThread) {
    sleepMilliseconds(answer->delayMs);
    deliver(*keep, *answer, completion);
    return;
  }
  try {
    // The thread holds the store until the completion has run, as EventKit does.
    std::thread([store, answer = *answer, completion = std::move(completion)] {
      sleepMilliseconds(answer.delayMs);
      deliver(*store, answer, completion);
    }).detach();
  } catch (const std::system_error& error) {
    throw PlatformError(std::string("stand-in store: cannot start the answering thread (") +
                        error.what() + ")");
  }
}

// No application to bring to the front.
void activateApplication() {}

std::optional<std::string> mainBundleIdentifier() {
  return standin::currentDocumentOrUnset()->bundleIdentifier;
}

std::optional<std::string> mainBundleExecutablePath() {
  return standin::currentDocumentOrUnset()->executablePath;
}

std::vector<std::string> processArguments() { return standin::currentDocumentOrUnset()->arguments; }

double now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void runLoopStep(double seconds) {
  // Deliveries this thread has not yet woken for: an answer that arrived just
  // before the step ends it at once instead of after the full step.
  thread_local std::uint64_t deliveriesSeen = 0;
  AccessState& state = accessState();
  std::unique_lock lock(state.mutex);
  if (seconds > 0) {
    state.delivered.wait_for(lock,
                             std::chrono::duration<double>(std::min(seconds, kLongestWaitSeconds)),
                             [&] { return state.deliveries != deliveriesSeen; });
  }
  deliveriesSeen = state.deliveries;
}

}  // namespace vantrel::platform
