// tavimo_calendar_request_access against the fake platform: which answer, on
// which thread, how often, and what a pending request keeps alive.
#include "tavimo_calendar.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "authorization_labels.h"
#include "bridge_failure.h"
#include "fake_platform.h"

namespace vantrel {
namespace {

using ::testing::ElementsAre;
using ::testing::StartsWith;

struct Answer {
  std::uint8_t granted;
  std::optional<std::string> message;
  void* context;
  std::thread::id thread;
};

// Collects the answers the callback gets, from whatever thread.
struct Answers {
  std::mutex mutex;
  std::vector<Answer> list;

  static void callback(std::uint8_t granted, const char* message, void* context) {
    auto* answers = static_cast<Answers*>(context);
    std::lock_guard lock(answers->mutex);
    answers->list.push_back({granted, message ? std::optional<std::string>(message) : std::nullopt,
                             context, std::this_thread::get_id()});
  }
  std::vector<Answer> taken() {
    std::lock_guard lock(mutex);
    return list;
  }
};

class ExportedRequestAccessTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
  fake::Platform& fake() { return fake::platform(); }

  // Runs the one pending request's completion on a thread of its own, as the
  // calendar store does, after the status has become `statusAfter`.
  void answerOnAnotherThread(bool granted, std::optional<std::string> error,
                             std::int64_t statusAfter) {
    ASSERT_EQ(fake().pending.size(), 1u);
    fake::PendingRequest request = std::move(fake().pending.front());
    fake().pending.clear();
    fake().status = statusAfter;
    std::thread([&] {
      answeringThread = std::this_thread::get_id();
      request.completion(granted, error);
    }).join();
  }
  std::thread::id answeringThread;
};

TEST_F(ExportedRequestAccessTest, KnownStatusesAnswerAtOnceOnTheCallingThread) {
  struct Case {
    std::int64_t status;
    std::uint8_t granted;
    std::optional<std::string> label;  // of the denial message
  } cases[] = {{3, 1, std::nullopt}, {1, 0, "restricted"}, {2, 0, "denied"}};
  for (const Case& c : cases) {
    fake::reset();
    fake().status = c.status;
    Answers answers;
    tavimo_calendar_request_access(Answers::callback, &answers);
    std::vector<Answer> got = answers.taken();
    ASSERT_EQ(got.size(), 1u) << c.status;
    EXPECT_EQ(got[0].granted, c.granted);
    EXPECT_EQ(got[0].context, &answers);
    EXPECT_EQ(got[0].thread, std::this_thread::get_id());
    if (c.label) {
      ASSERT_TRUE(got[0].message);
      EXPECT_EQ(*got[0].message, calendarAccessDeniedMessage(*c.label));
      EXPECT_THAT(*got[0].message, StartsWith("Calendar access was not granted (" + *c.label));
    } else {
      EXPECT_FALSE(got[0].message);
    }
    EXPECT_EQ(fake().count("requestFullAccess"), 0);
    EXPECT_EQ(fake().count("activateApplication"), 0);
  }
}

TEST_F(ExportedRequestAccessTest, UndecidedStatusesAskAndReturnBeforeTheAnswer) {
  for (std::int64_t status : {0, 4, 7}) {
    fake::reset();
    fake().status = status;
    Answers answers;
    tavimo_calendar_request_access(Answers::callback, &answers);
    EXPECT_TRUE(answers.taken().empty()) << status;
    EXPECT_THAT(fake().callLog(),
                ElementsAre("authorizationStatus", "authorizationStatus", "activateApplication",
                            "newStore", "requestFullAccess"));
    fake().pending.clear();
  }
}

TEST_F(ExportedRequestAccessTest, TheLaterAnswerArrivesOnTheAnsweringThread) {
  struct Case {
    bool granted;
    std::optional<std::string> error;
    std::int64_t statusAfter;
    std::uint8_t expectedGranted;
    std::optional<std::string> expectedMessage;
  } cases[] = {
      {true, std::nullopt, 3, 1, std::nullopt},
      {false, std::nullopt, 3, 1, std::nullopt},  // the status decides
      {false, std::nullopt, 2, 0, calendarAccessDeniedMessage("denied")},
      {true, std::nullopt, 0, 1, calendarAccessDeniedMessage("not-determined")},
      {false, "The request was interrupted.", 0, 0, "The request was interrupted."},
      {true, "The request was interrupted.", 2, 1, "The request was interrupted."},
      // Whole across the C interface, and never silent.
      {false, std::string("boom \0 x", 8), 0, 0, "boom \uFFFD x"},
      {false, "", 2, 0, calendarAccessDeniedMessage("denied")},
  };
  for (const Case& c : cases) {
    fake::reset();
    fake().status = 0;
    Answers answers;
    tavimo_calendar_request_access(Answers::callback, &answers);
    answerOnAnotherThread(c.granted, c.error, c.statusAfter);
    std::vector<Answer> got = answers.taken();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].granted, c.expectedGranted);
    EXPECT_EQ(got[0].message, c.expectedMessage);
    EXPECT_EQ(got[0].context, &answers);
    EXPECT_NE(got[0].thread, std::this_thread::get_id());
  }
}

// macOS has been seen to report not-determined for a while after a grant: the
// answer waits, on a thread of its own, up to two seconds for the status.
TEST_F(ExportedRequestAccessTest, AGrantWaitsForTheStatusToShowIt) {
  struct Case {
    std::optional<std::string> error;
    int stepsUntilFullAccess;  // -1: never
    std::uint8_t expectedGranted;
    std::optional<std::string> expectedMessage;
    int expectedSteps;  // -1: about two seconds' worth
  } cases[] = {
      {std::nullopt, 4, 1, std::nullopt, 4},
      {std::nullopt, -1, 1, calendarAccessDeniedMessage("not-determined"), -1},
      // An answer with an error is not a grant: nothing is waited for.
      {"The request was interrupted.", 4, 1, "The request was interrupted.", 0},
  };
  for (const Case& c : cases) {
    fake::reset();
    fake().status = 0;
    int steps = 0;
    bool waitedOnAnOwnThread = true;
    const std::thread::id asking = std::this_thread::get_id();
    fake().onRunLoopStep = [&] {
      if (++steps == c.stepsUntilFullAccess) fake::platform().status = 3;
      // Neither the platform's answering thread nor the asking one is held.
      const std::thread::id here = std::this_thread::get_id();
      waitedOnAnOwnThread &= here != answeringThread && here != asking;
    };
    Answers answers;
    tavimo_calendar_request_access(Answers::callback, &answers);
    const double answeredAt = fake().clock;
    answerOnAnotherThread(true, c.error, 0);
    std::vector<Answer> got = answers.taken();
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].granted, c.expectedGranted);
    EXPECT_EQ(got[0].message, c.expectedMessage);
    EXPECT_TRUE(waitedOnAnOwnThread);
    if (c.expectedSteps >= 0) {
      EXPECT_EQ(steps, c.expectedSteps);
    } else {
      EXPECT_GE(fake().clock - answeredAt, 2.0);
      EXPECT_LE(fake().clock - answeredAt, 2.0 + 0.05 + 1e-9);
    }
  }
}

TEST_F(ExportedRequestAccessTest, APendingRequestKeepsItsStoreUntilTheCompletionIsDone) {
  fake().status = 0;
  Answers answers;
  tavimo_calendar_request_access(Answers::callback, &answers);
  ASSERT_EQ(fake().pending.size(), 1u);
  platform::AccessCompletion completion = std::move(fake().pending.front().completion);
  fake().pending.clear();  // the layer lets go of its own reference
  EXPECT_EQ(fake().storesAlive, 1);
  fake().status = 3;
  completion(true, std::nullopt);
  completion = nullptr;
  EXPECT_EQ(fake().storesAlive, 0);
  EXPECT_EQ(answers.taken().size(), 1u);
}

TEST_F(ExportedRequestAccessTest, AnswersExactlyOnceEvenWhenTheLayerCompletesTwice) {
  fake().status = 0;
  fake().onRequest = [](fake::PendingRequest request) {
    request.completion(false, std::nullopt);
    request.completion(true, std::nullopt);
  };
  Answers answers;
  tavimo_calendar_request_access(Answers::callback, &answers);
  ASSERT_EQ(answers.taken().size(), 1u);
  EXPECT_EQ(answers.taken()[0].granted, 0);
}

TEST_F(ExportedRequestAccessTest, FailuresStillGiveTheOneAnswer) {
  // Before the request: the status query itself fails.
  fake().statusFunction = []() -> std::int64_t { throw PlatformError("no calendar database"); };
  Answers before;
  tavimo_calendar_request_access(Answers::callback, &before);
  ASSERT_EQ(before.taken().size(), 1u);
  EXPECT_EQ(before.taken()[0].granted, 0);
  EXPECT_EQ(before.taken()[0].message, "no calendar database");

  // Inside the completion, on the answering thread.
  fake::reset();
  fake().status = 0;
  Answers after;
  tavimo_calendar_request_access(Answers::callback, &after);
  fake().statusFunction = []() -> std::int64_t { throw std::bad_alloc(); };
  answerOnAnotherThread(true, std::nullopt, 0);
  ASSERT_EQ(after.taken().size(), 1u);
  EXPECT_EQ(after.taken()[0].granted, 0);
  EXPECT_FALSE(after.taken()[0].message) << "out of memory has no text";

  // No thread for the grant wait: the grant still counts, as after a wait.
  fake::reset();
  fake().status = 0;
  fake().refuseOwnThread = true;
  Answers unwaited;
  tavimo_calendar_request_access(Answers::callback, &unwaited);
  answerOnAnotherThread(true, std::nullopt, 3);
  ASSERT_EQ(unwaited.taken().size(), 1u);
  EXPECT_EQ(unwaited.taken()[0].granted, 1);
  EXPECT_FALSE(unwaited.taken()[0].message);
}

TEST_F(ExportedRequestAccessTest, NullContextIsHandedBackAndNullCallbackDoesNothing) {
  static void* seen = &seen;
  fake().status = 3;
  tavimo_calendar_request_access(
      [](std::uint8_t, const char*, void* context) { seen = context; }, nullptr);
  EXPECT_EQ(seen, nullptr);

  fake::reset();
  fake().status = 0;
  tavimo_calendar_request_access(nullptr, nullptr);
  EXPECT_TRUE(fake().callLog().empty());
}

}  // namespace
}  // namespace vantrel
