// How the stand-in answers a full-access request: on the caller's thread or on
// one of its own after a delay, with the document's flag, error and status.
#include <gtest/gtest.h>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform.h"
#include "standin_store_variable.h"
#include "standin_test_document.h"

namespace vantrel {
namespace {

using standin_test::TestDocument;

struct Answer {
  std::atomic<bool> finished{false};
  bool granted = false;
  std::optional<std::string> error;
  std::int64_t statusSeen = -100;  // the status inside the completion
  std::thread::id thread;
};

platform::AccessCompletion recordInto(const std::shared_ptr<Answer>& answer) {
  return [answer](bool granted, std::optional<std::string> error) {
    answer->granted = granted;
    answer->error = std::move(error);
    answer->statusSeen = platform::authorizationStatus();
    answer->thread = std::this_thread::get_id();
    answer->finished.store(true, std::memory_order_release);
  };
}

// Turns the run loop as the permission gate does, until the answer is in.
void waitFor(const Answer& answer) {
  const double deadline = platform::now() + 30;
  while (!answer.finished.load(std::memory_order_acquire) && platform::now() < deadline) {
    platform::runLoopStep(0.05);
  }
  ASSERT_TRUE(answer.finished.load(std::memory_order_acquire)) << "no answer within 30 s";
}

TEST(StandinAccessRequest, CallerThreadAnswersBeforeReturning) {
  const TestDocument document(
      R"({"status":0,"request":{"thread":"caller","granted":false,"error":"Denied by test"}})");
  auto answer = std::make_shared<Answer>();
  platform::requestFullAccess(platform::newStore(), recordInto(answer));
  ASSERT_TRUE(answer->finished);
  EXPECT_FALSE(answer->granted);
  EXPECT_EQ(answer->error, "Denied by test");
  EXPECT_EQ(answer->statusSeen, 2);
  EXPECT_EQ(answer->thread, std::this_thread::get_id());
  EXPECT_EQ(platform::authorizationStatus(), 2);
}

TEST(StandinAccessRequest, OtherThreadAnswersAfterTheDelayAndKeepsTheStore) {
  const TestDocument document(R"({"status":0,"request":{"delayMs":5}})");
  auto answer = std::make_shared<Answer>();
  auto store = platform::newStore();
  const std::weak_ptr<platform::Store> watched = store;
  platform::requestFullAccess(store, recordInto(answer));
  store.reset();
  waitFor(*answer);
  EXPECT_TRUE(answer->granted);
  EXPECT_EQ(answer->error, std::nullopt);
  EXPECT_EQ(answer->statusSeen, 3);
  EXPECT_NE(answer->thread, std::this_thread::get_id());
  EXPECT_EQ(platform::authorizationStatus(), 3);
  // The answering thread lets go of the store after the completion.
  while (!watched.expired()) platform::runLoopStep(0.001);
}

TEST(StandinAccessRequest, StatusAfterDefaultsAndLastsUntilTheDocumentChanges) {
  struct Case {
    const char* request;
    std::int64_t statusAfter;
  };
  const Case cases[] = {
      {R"({"thread":"caller"})", 3},
      {R"({"thread":"caller","granted":false})", 2},
      {R"({"thread":"caller","granted":false,"statusAfter":4})", 4},
      {R"({"thread":"caller","granted":true,"statusAfter":-9})", -9},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.request);
    const std::string json = std::string(R"({"status":0,"request":)") + c.request + "}";
    const TestDocument document(json);
    platform::requestFullAccess(platform::newStore(), recordInto(std::make_shared<Answer>()));
    EXPECT_EQ(platform::authorizationStatus(), c.statusAfter);
    EXPECT_EQ(platform::authorizationStatus(), c.statusAfter);
    document.write(json + " ");
    EXPECT_EQ(platform::authorizationStatus(), 0);
  }
}

// macOS has been seen to report a grant late: for statusLagMs after the
// answer, the status is still the one from before it.
TEST(StandinAccessRequest, StatusLagsBehindTheAnswer) {
  {
    const TestDocument document(R"({"status":4,"request":{"thread":"caller","statusLagMs":600000}})");
    auto answer = std::make_shared<Answer>();
    platform::requestFullAccess(platform::newStore(), recordInto(answer));
    EXPECT_TRUE(answer->granted);
    EXPECT_EQ(answer->statusSeen, 4);
    EXPECT_EQ(platform::authorizationStatus(), 4);
  }
  const TestDocument document(R"({"status":0,"request":{"statusLagMs":50}})");
  auto answer = std::make_shared<Answer>();
  platform::requestFullAccess(platform::newStore(), recordInto(answer));
  waitFor(*answer);
  const double deadline = platform::now() + 30;
  while (platform::authorizationStatus() != 3 && platform::now() < deadline) {
    platform::runLoopStep(0.05);
  }
  EXPECT_EQ(platform::authorizationStatus(), 3);
}

// On macOS a change of permission reaches a process through its main
// thread's run loop: such a grant shows at that thread's next step alone.
TEST(StandinAccessRequest, AGrantThatWaitsForTheMainThreadShowsAtItsStep) {
  const TestDocument document(R"({"status":0,"request":{"thread":"caller","untilMainTurn":true}})");
  auto answer = std::make_shared<Answer>();
  platform::requestFullAccess(platform::newStore(), recordInto(answer));
  EXPECT_TRUE(answer->granted);
  std::thread([] { platform::runLoopStep(0); }).join();
  EXPECT_EQ(platform::authorizationStatus(), 0);
  platform::runLoopStep(0);
  EXPECT_EQ(platform::authorizationStatus(), 3);
}

TEST(StandinAccessRequest, LateAnswerForAnOlderDocumentChangesNothing) {
  const TestDocument document(R"({"status":0,"request":{"delayMs":5}})");
  auto answer = std::make_shared<Answer>();
  platform::requestFullAccess(platform::newStore(), recordInto(answer));
  document.write(R"({"status":0 ,"request":{"delayMs":5}})");
  waitFor(*answer);
  EXPECT_EQ(platform::authorizationStatus(), 0);
}

TEST(StandinAccessRequest, AnswersToAStoreRewrittenEachTimeAreBounded) {
#if !defined(__GLIBC__)
  GTEST_SKIP() << "the heap is measured with glibc's mallinfo2";
#else
  const TestDocument document(R"({"status":0})");
  const auto answerRewritten = [&](int i) {
    document.write(R"({"status":0,"request":{"thread":"caller"},"bundleIdentifier":")" +
                   std::to_string(i) + R"("})");
    platform::requestFullAccess(platform::newStore(), [](bool, std::optional<std::string>) {});
  };
  for (int i = 0; i < 100; ++i) answerRewritten(i);
  const auto before = static_cast<long long>(mallinfo2().uordblks);
  for (int i = 100; i < 1100; ++i) answerRewritten(i);
  EXPECT_LT(static_cast<long long>(mallinfo2().uordblks) - before, 50 * 1000);
#endif
}

TEST(StandinAccessRequest, NullRequestIsNeverAnswered) {
  for (const char* json : {R"({"status":0,"request":null})", R"({"status":0})"}) {
    const TestDocument document(json);
    auto answer = std::make_shared<Answer>();
    auto store = platform::newStore();
    const std::weak_ptr<platform::Store> watched = store;
    // Said once, to a host that hands in the variable (the module) alone.
    testing::internal::CaptureStderr();
    platform::requestFullAccess(store, recordInto(answer));
    ASSERT_TRUE(vantrel_standin_variable_begin(document.path().c_str()));
    platform::requestFullAccess(store, recordInto(answer));
    platform::requestFullAccess(store, recordInto(answer));
    vantrel_standin_variable_end();
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "stand-in store " + document.path() + ": the document has no \"request\", so this "
              "access request is never answered and waits, keeping the process alive, as an "
              "unanswered dialog does; give the document a \"request\" to answer it.\n");
    store.reset();
    platform::runLoopStep(0.01);
    EXPECT_FALSE(answer->finished);
    EXPECT_EQ(answer.use_count(), 1) << "the completion was kept";
    EXPECT_TRUE(watched.expired()) << "the store was kept";
    EXPECT_EQ(platform::authorizationStatus(), 0);
  }
}

}  // namespace
}  // namespace vantrel
