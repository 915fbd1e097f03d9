// The exported functions called from many threads at once over one stand-in
// store, with access answers arriving on threads of their own: every request
// is answered exactly once and every snapshot is whole. Run under the thread
// sanitizer, this fails on any unsynchronised state in the core or the store.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "standin_test_document.h"
#include "tavimo_calendar.h"

namespace vantrel {
namespace {

using standin_test::TestDocument;

constexpr int kThreads = 8;
constexpr int kRequestsPerThread = 200;
constexpr int kRequests = kThreads * kRequestsPerThread;

struct Answers {
  std::atomic<int> granted{0};
  std::atomic<int> refused{0};
  std::atomic<int> total{0};

  static void callback(std::uint8_t granted, const char*, void* context) {
    auto* answers = static_cast<Answers*>(context);
    (granted ? answers->granted : answers->refused).fetch_add(1);
    answers->total.fetch_add(1);
  }
};

TEST(StandinConcurrentCalls, RequestsSnapshotsAndDiagnosticsFromManyThreads) {
  const TestDocument document(
      R"({"status":0,"request":{"granted":true,"delayMs":1},"calendars":[{"id":"c"}],)"
      R"("events":[{"id":"e","calendar":"c","start":"2026-03-02T09:00:00Z","end":"2026-03-02T10:00:00Z"}]})");
  constexpr const char* kSnapshot =
      R"({"calendars":[{"color":"#6C4CF0","id":"c","name":"","sourceName":""}],"events":[)"
      R"({"calendarId":"c","endIso":"2026-03-02T10:00:00.000Z","id":"e::1772442000000",)"
      R"("isAllDay":false,"startIso":"2026-03-02T09:00:00.000Z","title":"Untitled event"}]})";

  // Freed only once every answer is in: a late one must not find it gone.
  auto* answers = new Answers;
  std::atomic<int> wholeSnapshots{0};
  std::atomic<int> refusedSnapshots{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < kRequestsPerThread; ++i) {
        tavimo_calendar_request_access(Answers::callback, answers);
        char* failure = nullptr;
        char* json = tavimo_calendar_snapshot("2026-03-01T00:00:00Z", "2026-04-01T00:00:00Z",
                                              &failure);
        // Refused until the first answer has granted access, whole afterwards.
        if (json != nullptr && std::strcmp(json, kSnapshot) == 0) ++wholeSnapshots;
        if (failure != nullptr) ++refusedSnapshots;
        tavimo_calendar_string_free(json);
        tavimo_calendar_string_free(failure);
        tavimo_calendar_string_free(tavimo_calendar_diagnostics());
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  // Answers still on their way come on the store's threads.
  for (int wait = 0; answers->total.load() < kRequests && wait < 60'000; ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_EQ(answers->total.load(), kRequests);
  EXPECT_EQ(answers->granted.load(), kRequests);
  delete answers;
  EXPECT_EQ(wholeSnapshots.load() + refusedSnapshots.load(), kRequests);
  EXPECT_GT(wholeSnapshots.load(), 0);
}

}  // namespace
}  // namespace vantrel
