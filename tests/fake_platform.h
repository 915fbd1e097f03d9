// A scriptable platform for the core's unit tests. Tests set what the "store"
// answers, and read back which operations the core called, in order.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform.h"

namespace vantrel::fake {

struct Calendar {
  std::optional<std::string> id;
  std::optional<std::string> title;
  std::optional<std::string> sourceTitle;
  std::optional<std::vector<double>> color;
};

struct Event {
  std::optional<std::string> itemId;
  std::optional<std::string> calendarId;
  std::optional<std::string> title;
  std::optional<std::string> location;
  std::optional<double> start;
  std::optional<double> end;
  bool isAllDay = false;
};

struct PendingRequest {
  platform::StoreRef store;
  platform::AccessCompletion completion;
};

struct Platform {
  // Answers.
  std::atomic<std::int64_t> status{3};
  // When set, answers status queries instead of `status` (e.g. a sequence).
  std::function<std::int64_t()> statusFunction;
  std::optional<std::vector<Calendar>> calendars = std::vector<Calendar>{};
  std::vector<Event> events;  // the answer to every query, unfiltered
  // Occurrence dates by item identifier and start; an event not named has its
  // start, as a single event does.
  std::map<std::pair<std::string, double>, double> occurrenceDates;
  // Meeting-note values by item identifier; an event not named has none.
  std::map<std::string, platform::EventDetailValues> details;
  // When set, answers each query instead of `events`.
  std::function<std::vector<Event>(double start, double end)> answerQuery;
  std::optional<std::string> bundleId;
  std::optional<std::string> executablePath;
  std::vector<std::string> arguments;

  // How a full-access request is answered. Unset: kept in `pending`.
  std::function<void(PendingRequest)> onRequest;
  std::vector<PendingRequest> pending;
  bool refuseOwnThread = false;  // runOnOwnThread throws, as without threads to spare

  // Store watches: refused when set; otherwise every running watch hears
  // triggerChange(), on the thread that calls it.
  bool refuseWatch = false;
  std::atomic<int> watchesRunning{0};
  void triggerChange();

  // A manual clock: each run-loop step advances it by the step's length.
  double clock = 1000.0;
  // Runs inside every run-loop step, after the clock has moved.
  std::function<void()> onRunLoopStep;

  // What the core did.
  std::vector<std::string> calls;
  int storesCreated = 0;
  std::atomic<int> storesAlive{0};
  double queryStart = 0;
  double queryEnd = 0;
  std::vector<std::pair<double, double>> queries;  // every query's range, in order
  std::atomic<int> eventListsAlive{0};  // answers to queries not yet released
  std::vector<std::optional<std::string>> queryCalendarIds;

  std::mutex mutex;  // guards `calls` and `pending` against other threads
  // Held while a watch hears a change, and by its stop: a stopped watch is
  // never heard again.
  std::mutex watchMutex;
  std::vector<platform::StoreWatch*> watches;

  void record(std::string call);
  std::vector<std::string> callLog();
  int count(const std::string& call);
};

// The one fake platform of the test process; reset() before each test.
Platform& platform();
void reset();

}  // namespace vantrel::fake
