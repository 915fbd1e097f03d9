// The platform layer of every non-macOS build: answers the bridge's platform
// operations from the JSON document that VANTREL_STANDIN_STORE names, so the
// whole bridge runs and is tested end to end without EventKit.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "standin_current_document.h"
#include "standin_document.h"
#include "standin_main_run_loop.h"
#include "standin_process.h"
#include "standin_status_watch.h"
#include "standin_store.h"

namespace vantrel::platform::standin_store {

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

// What the status reads once a request was answered: `before` until `from`
// (macOS has been seen to report a grant late), and while `untilMainTurn`
// (cleared by the main thread's next run-loop step), then `after`.
struct AnsweredStatus {
  std::int64_t before;
  std::int64_t after;
  std::chrono::steady_clock::time_point from;
  bool untilMainTurn;

  std::int64_t at(std::chrono::steady_clock::time_point time) const {
    return time < from || untilMainTurn ? before : after;
  }
};

// The answers to access requests so far: one state for the whole process,
// however many copies of the stand-in it has loaded (two copies of
// vantrel.node, say), since on macOS the permission belongs to the process.
// Every copy reaches the same one, so its layout is fixed for a version of
// the stand-in: a change of it renames the process-wide place (its _v4).
struct AccessState {
  std::mutex mutex;
  std::condition_variable delivered;
  std::uint64_t deliveries = 0;
  // Document identity -> the status its answer set. Keyed on the document
  // so that a late answer for an older document cannot change a newer one.
  std::unordered_map<std::string, AnsweredStatus> answered;
  std::vector<standin::StatusWatch*> statusWatches;
};

// An inline variable of default visibility is a unique symbol (STB_GNU_UNIQUE):
// the dynamic loader binds every copy of it in the process to one definition,
// even in modules loaded apart (RTLD_LOCAL). Constant-initialised, so no copy
// initialises it again; the module exports it by its C name, and stays loaded.
extern "C" {
[[gnu::visibility("default")]] inline constinit std::atomic<AccessState*>
    vantrel_standin_permission_state_v4{nullptr};
}

namespace {

// EventKit answers "within a four year timespan" and shortens a longer range
// "to the first four years"; the stand-in does the same, so the bridge's
// windows are tested here.
constexpr double kLongestQuerySeconds = 1460.0 * 86400.0;

// Longest single wait, so that a huge delay or step cannot overflow the
// clocks' integer durations; effectively "never".
constexpr double kLongestWaitSeconds = 1e9;

// Answers remembered: a rewritten store is a new document, so a process that
// asks after every rewrite would otherwise keep one answer per rewrite for
// good. The answer that took effect first is forgotten first.
constexpr std::size_t kAnsweredDocuments = 64;

// Never destroyed: a detached delivery thread may still run while the
// process exits.
AccessState& accessState() {
  auto& shared = vantrel_standin_permission_state_v4;
  AccessState* state = shared.load(std::memory_order_acquire);
  if (state != nullptr) return *state;
  auto* made = new AccessState;
  if (shared.compare_exchange_strong(state, made, std::memory_order_acq_rel)) return *made;
  delete made;  // another copy or thread was first
  return *state;
}

// With the state's mutex held.
void announceStatusChange(AccessState& state, std::chrono::steady_clock::time_point due) {
  for (standin::StatusWatch* watch : state.statusWatches) {
    watch->due.push_back(due);
    const std::uint64_t one = 1;
    // An eventfd write of 1 fails only past 2^64 - 2 unread, never blocks.
    [[maybe_unused]] const ssize_t written = ::write(watch->wake, &one, sizeof one);
  }
}

// On the main thread, inside a run-loop step: answers that waited for it show.
void showAnswersWaitingForMainTurn(AccessState& state) {
  for (auto& [identity, answered] : state.answered) {
    if (!answered.untilMainTurn) continue;
    answered.untilMainTurn = false;
    if (answered.before != answered.after) {
      announceStatusChange(state, std::max(answered.from, std::chrono::steady_clock::now()));
    }
  }
}

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
    state.answered.insert_or_assign(
        store.document->identity,
        AnsweredStatus{before, answer.statusAfter, now + lag, answer.untilMainTurn});
    if (state.answered.size() > kAnsweredDocuments) {
      // Never the answer just given, whose completion reads it next, nor one
      // still waiting for the main thread.
      const auto order = [&](const auto& entry) {
        return std::pair(entry.first == store.document->identity || entry.second.untilMainTurn,
                         entry.second.from);
      };
      state.answered.erase(std::min_element(
          state.answered.begin(), state.answered.end(),
          [&](const auto& a, const auto& b) { return order(a) < order(b); }));
    }
    // One that waits for the main thread is announced by that thread's step.
    if (before != answer.statusAfter && !answer.untilMainTurn) {
      announceStatusChange(state, now + lag);
    }
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

// A request that waits for ever keeps its process alive, as a dialog nobody
// answers does; a test runner that hangs on it should be told why, once per
// document. Only a host that hands in the variable (the Node module) is told:
// a caller of the C functions waits under a limit of its own (the command's
// 30 seconds), and the command's error output carries its failure text alone.
void warnNeverAnswered(const standin::Document& document) {
  if (!standin::variableHandedIn()) return;
  // Never destroyed: a worker's thread may still ask while the process exits.
  struct Warned {
    std::mutex mutex;
    std::deque<std::string> identities;  // the latest few
  };
  static auto* const warned = new Warned;
  const std::lock_guard lock(warned->mutex);
  auto& identities = warned->identities;
  if (std::find(identities.begin(), identities.end(), document.identity) != identities.end()) {
    return;
  }
  if (identities.size() == 64) identities.pop_front();
  identities.push_back(document.identity);
  std::string line = document.path.empty()
                         ? "stand-in store: VANTREL_STANDIN_STORE is unset or empty, so"
                         : "stand-in store " + standin::validUtf8(document.path) +
                               ": the document has no \"request\", so";
  line += " this access request is never answered and waits, keeping the process alive, as an "
          "unanswered dialog does; give the document a \"request\" to answer it.";
  for (char& c : line) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  line += '\n';
  std::fwrite(line.data(), 1, line.size(), stderr);
}

// In line: a snapshot reads most of an event's texts through it.
[[gnu::always_inline]] inline void assignText(std::optional<std::string>& into,
                                              const std::string& text) {
  if (!into) into.emplace();
  into->assign(text);  // keeps the reused text's capacity
}

void assignText(std::optional<std::string>& into, const std::optional<std::string>& text) {
  if (text) {
    assignText(into, *text);
  } else {
    into.reset();
  }
}

}  // namespace

}  // namespace vantrel::platform::standin_store

namespace vantrel::standin {

void addStatusWatch(StatusWatch& watch) {
  platform::standin_store::AccessState& state = platform::standin_store::accessState();
  const std::lock_guard lock(state.mutex);
  state.statusWatches.push_back(&watch);
}

void removeStatusWatch(StatusWatch& watch) {
  platform::standin_store::AccessState& state = platform::standin_store::accessState();
  const std::lock_guard lock(state.mutex);
  std::erase(state.statusWatches, &watch);
}

int millisecondsUntilStatusChange(StatusWatch& watch) {
  platform::standin_store::AccessState& state = platform::standin_store::accessState();
  const std::lock_guard lock(state.mutex);
  if (watch.due.empty()) return -1;
  const auto wait =
      *std::min_element(watch.due.begin(), watch.due.end()) - std::chrono::steady_clock::now();
  const auto milliseconds = std::chrono::ceil<std::chrono::milliseconds>(wait).count();
  return static_cast<int>(std::clamp<std::int64_t>(milliseconds, 0, INT_MAX));
}

bool statusChanged(StatusWatch& watch) {
  std::uint64_t count;
  [[maybe_unused]] const ssize_t drained = ::read(watch.wake, &count, sizeof count);
  platform::standin_store::AccessState& state = platform::standin_store::accessState();
  const std::lock_guard lock(state.mutex);
  const auto now = std::chrono::steady_clock::now();
  return std::erase_if(watch.due, [now](auto due) { return due <= now; }) > 0;
}

}  // namespace vantrel::standin

namespace vantrel::platform::standin_store {

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
  into.occurrenceDate = texts.occurrenceDate ? texts.occurrenceDate : span.start;
}

const EventDetailValues& readEventDetails(const EventList& events, std::size_t index,
                                          EventDetailValues&) {
  if (index >= events.indices.size()) {
    throw PlatformError("stand-in store: details of event " + std::to_string(index) + " of " +
                        std::to_string(events.indices.size()) + " asked for");
  }
  const standin::Document& document = *events.document;
  const std::uint32_t key = document.eventTexts[events.indices[index]].detailsKey;
  static const EventDetailValues kNone{};
  return key == 0 ? kNone : document.eventDetails[key - 1];
}

void requestFullAccess(const StoreRef& store, AccessCompletion completion) {
  if (!store) throw PlatformError("stand-in store: access requested without a store");
  const StoreRef keep = store;  // whatever the completion lets go of
  const auto& answer = keep->document->request;
  // Never answered: nothing will call the completion, so nothing keeps it.
  if (!answer) {
    warnNeverAnswered(*keep->document);
    return;
  }
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

void runOnOwnThread(std::function<void()> work) {
  // The thread asks about the document the caller sees now, whatever the
  // variable names by the time it runs.
  try {
    std::thread([document = standin::currentDocumentOrUnset(), work = std::move(work)] {
      const standin::ThreadDocument asked(document);
      work();
    }).detach();
  } catch (const std::system_error& error) {
    throw PlatformError(std::string("stand-in store: cannot start a thread (") + error.what() + ")");
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
  const bool onMain = standin::onMainThread();
  if (onMain) showAnswersWaitingForMainTurn(state);
  lock.unlock();
  if (onMain) standin::deliverWaitingChanges();
}

bool onMainThread() { return standin::onMainThread(); }

// The stand-in's main thread turns no loop of its own, so no turn is ever
// under way when this is called.
void turnMainRunLoop() {
  if (standin::onMainThread()) runLoopStep(0);
}

}  // namespace vantrel::platform::standin_store
