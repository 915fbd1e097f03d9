#include "access_gate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "authorization_labels.h"
#include "bridge_failure.h"
#include "fake_platform.h"

namespace vantrel {
namespace {

using ::testing::ElementsAre;

struct Answer {
  bool granted;
  std::optional<std::string> error;
};

// What an operation did: returned, or which failure (as text) it threw.
struct Outcome {
  bool threw = false;
  std::optional<BridgeFailure> failure;
  std::string text;
};

template <typename Operation>
Outcome outcomeOf(Operation&& operation) {
  try {
    operation();
    return {};
  } catch (BridgeFailure failure) {
    return {true, failure, description(failure)};
  } catch (AccessDenied denied) {
    return {true, BridgeFailure::accessDenied, description(denied)};
  } catch (...) {
    return {true, std::nullopt, failureText(std::current_exception())};
  }
}

class AccessGateTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
  void TearDown() override { fake::platform().pending.clear(); }
  fake::Platform& fake() { return fake::platform(); }

  // Status queries answer these in turn, then keep answering the last one.
  void statuses(std::vector<std::int64_t> sequence) {
    fake().statusFunction = [sequence, next = std::size_t{0}]() mutable {
      return sequence[std::min(next++, sequence.size() - 1)];
    };
  }
  // Requests are answered inside the request call.
  void answerAtOnce(Answer answer) {
    fake().onRequest = [answer](fake::PendingRequest request) {
      request.completion(answer.granted, answer.error);
    };
  }
  // Starts a wait whose completion is kept for the test to call.
  bool waitWithCompletionKept(std::optional<platform::AccessCompletion>& kept) {
    return waitForAccessRequest([&kept](platform::AccessCompletion completion) {
      kept = std::move(completion);
    });
  }
};

TEST_F(AccessGateTest, AnswerInsideTheStartOperationIsReturnedWithoutARunLoopStep) {
  const std::pair<Answer, Outcome> cases[] = {
      {{true, std::nullopt}, {}},
      {{false, std::nullopt}, {}},
      {{true, "The request failed."}, {true, std::nullopt, "The request failed."}},
      {{false, ""}, {}},  // an error that says nothing counts as none
  };
  for (const auto& testCase : cases) {
    const Answer& answer = testCase.first;
    const Outcome& expected = testCase.second;
    fake::reset();
    bool granted = !answer.granted;
    Outcome outcome = outcomeOf([&] {
      granted = waitForAccessRequest([&](platform::AccessCompletion completion) {
        completion(answer.granted, answer.error);
      });
    });
    EXPECT_EQ(outcome.threw, expected.threw);
    EXPECT_EQ(outcome.text, expected.text);
    if (!outcome.threw) {
      EXPECT_EQ(granted, answer.granted);
    }
    EXPECT_EQ(fake().count("runLoopStep"), 0);
  }
}

TEST_F(AccessGateTest, AnswerDuringTheWaitEndsItAfterThatStep) {
  for (const Answer& answer : {Answer{true, std::nullopt}, Answer{false, std::nullopt},
                               Answer{true, "Denied by policy."}}) {
    fake::reset();
    std::optional<platform::AccessCompletion> kept;
    int steps = 0;
    fake().onRunLoopStep = [&] {
      if (++steps == 3) (*kept)(answer.granted, answer.error);
    };
    bool granted = false;
    Outcome outcome = outcomeOf([&] { granted = waitWithCompletionKept(kept); });
    EXPECT_EQ(steps, 3);
    if (answer.error) {
      EXPECT_EQ(outcome.text, *answer.error) << "the error wins over the granted flag";
    } else {
      EXPECT_FALSE(outcome.threw);
      EXPECT_EQ(granted, answer.granted);
    }
  }
}

TEST_F(AccessGateTest, EveryStepStartsNoLaterThanTheDeadlineAndLastsTheStep) {
  const double startedAt = fake().clock;
  std::vector<double> stepEnds;
  fake().onRunLoopStep = [&] { stepEnds.push_back(fake().clock); };
  std::optional<platform::AccessCompletion> kept;

  Outcome outcome = outcomeOf([&] { waitWithCompletionKept(kept); });

  EXPECT_EQ(outcome.failure, BridgeFailure::accessTimedOut);
  EXPECT_EQ(outcome.text, "macOS did not finish the Calendar permission request.");
  const double deadline = startedAt + 30.0;
  ASSERT_GE(stepEnds.size(), 600u);
  ASSERT_LE(stepEnds.size(), 601u);
  double stepStart = startedAt;
  for (double end : stepEnds) {
    EXPECT_LE(stepStart, deadline);
    EXPECT_NEAR(end - stepStart, 0.05, 1e-9);
    stepStart = end;
  }
  EXPECT_GT(stepEnds.back(), deadline) << "gave up while time was left";
}

TEST_F(AccessGateTest, DeadlineIsThirtySecondsAfterTheStartOperationReturnedAndInclusive) {
  // The start operation takes 100 s; the deadline is then 1130 exactly. A step
  // that ends exactly on it is followed by another; one past it ends the wait.
  const double deadline = fake().clock + 100.0 + 30.0;
  const std::vector<double> clockAfterStep = {deadline - 29.0, deadline,
                                              std::nextafter(deadline, 2 * deadline)};
  std::size_t steps = 0;
  fake().onRunLoopStep = [&] { fake().clock = clockAfterStep.at(steps++); };

  Outcome outcome = outcomeOf([&] {
    waitForAccessRequest([&](platform::AccessCompletion) { fake().clock += 100.0; });
  });

  EXPECT_EQ(outcome.failure, BridgeFailure::accessTimedOut);
  EXPECT_EQ(steps, 3u);
}

// The status is read afresh for each of the three decisions.
TEST_F(AccessGateTest, RequestCalendarAccessDecisions) {
  struct Case {
    std::vector<std::int64_t> statuses;
    Answer answer;
    bool requested;
    std::optional<BridgeFailure> failure;  // nullopt: access may be used
    int statusQueries;
  };
  const Answer granted{true, std::nullopt};
  const Answer refused{false, std::nullopt};
  const Case cases[] = {
      {{3}, granted, false, std::nullopt, 1},
      {{0, 1}, granted, false, BridgeFailure::accessDenied, 2},
      {{0, 2}, granted, false, BridgeFailure::accessDenied, 2},
      {{1, 0, 3}, refused, true, std::nullopt, 3},
      {{0, 0, 3}, refused, true, std::nullopt, 3},
      {{0, 0, 3}, granted, true, std::nullopt, 3},
      {{0, 0, 2}, refused, true, BridgeFailure::accessDenied, 3},
      {{4, 4, 4}, refused, true, BridgeFailure::accessDenied, 3},
      {{4, 4, 3}, granted, true, std::nullopt, 3},
      {{7, 7, 3}, granted, true, std::nullopt, 3},
      {{-1, -1, 3}, granted, true, std::nullopt, 3},
  };
  for (const Case& c : cases) {
    fake::reset();
    statuses(c.statuses);
    answerAtOnce(c.answer);
    std::optional<BridgeFailure> failure;
    try {
      requestCalendarAccess(platform::newStore());
    } catch (AccessDenied) {
      failure = BridgeFailure::accessDenied;
    }
    const std::string which = ::testing::PrintToString(c.statuses);
    EXPECT_EQ(failure, c.failure) << which;
    EXPECT_EQ(fake().count("requestFullAccess"), c.requested ? 1 : 0) << which;
    EXPECT_EQ(fake().count("authorizationStatus"), c.statusQueries) << which;
    EXPECT_EQ(fake().count("runLoopStep"), 0) << which;
  }
}

// macOS has been seen to report not-determined for a while after a grant.
TEST_F(AccessGateTest, AGrantIsWaitedForUntilTheStatusShowsItForAtMostTwoSeconds) {
  struct Case {
    const char* name;
    std::vector<std::int64_t> statuses;  // from the third query on
    std::optional<BridgeFailure> failure;
    int steps;  // run-loop steps taken after the answer
  };
  const Case cases[] = {
      {"shows at once", {3}, std::nullopt, 0},
      {"shows after three steps", {0, 0, 0, 3}, std::nullopt, 3},
      {"add-events-only first", {4, 3}, std::nullopt, 1},
      {"never shows", {0}, BridgeFailure::accessDenied, -1},
  };
  for (const Case& c : cases) {
    fake::reset();
    fake().calendars = std::vector<fake::Calendar>{{"cal", "Work", "Local", {}}};
    std::vector<std::int64_t> sequence = {0, 0};
    sequence.insert(sequence.end(), c.statuses.begin(), c.statuses.end());
    statuses(sequence);
    answerAtOnce({true, std::nullopt});
    const double answeredAt = fake().clock;
    Outcome outcome = outcomeOf([] { snapshot(0.0, 1.0); });
    EXPECT_EQ(outcome.failure, c.failure) << c.name;
    EXPECT_EQ(fake().count("eventsMatching"), c.failure ? 0 : 1) << c.name;
    if (c.steps >= 0) {
      EXPECT_EQ(fake().count("runLoopStep"), c.steps) << c.name;
    } else {
      // Waited two seconds in steps, then left the refusal to the reader.
      EXPECT_GE(fake().clock - answeredAt, 2.0) << c.name;
      EXPECT_LE(fake().clock - answeredAt, 2.0 + 0.05 + 1e-9) << c.name;
      EXPECT_EQ(outcome.text, calendarAccessDeniedMessage("not-determined")) << c.name;
    }
  }
}

TEST_F(AccessGateTest, RequestCalendarAccessPassesTheRequestsErrorOnUnchanged) {
  statuses({0, 0, 3});
  answerAtOnce({true, "The calendar daemon is not running."});
  Outcome outcome = outcomeOf([] { requestCalendarAccess(platform::newStore()); });
  EXPECT_TRUE(outcome.threw);
  EXPECT_FALSE(outcome.failure);
  EXPECT_EQ(outcome.text, "The calendar daemon is not running.");
  EXPECT_EQ(fake().count("authorizationStatus"), 2) << "nothing is decided after an error";
}

TEST_F(AccessGateTest, RequestIsMadeOnTheGivenStore) {
  fake().status = 0;
  platform::StoreRef store = platform::newStore();
  platform::StoreRef requestedOn;
  fake().onRequest = [&](fake::PendingRequest request) {
    requestedOn = request.store;
    request.completion(true, std::nullopt);
  };
  requestCalendarAccess(store);
  EXPECT_EQ(requestedOn, store);
}

TEST_F(AccessGateTest, GateWithFullAccessReleasesItsStoreBeforeTheReaderReads) {
  std::vector<int> storesAliveAtStatusQuery;
  fake().statusFunction = [&] {
    storesAliveAtStatusQuery.push_back(fake().storesAlive);
    return 3;
  };
  fake().calendars = std::vector<fake::Calendar>{{"cal", "Work", "Local", {}}};
  fake().events = {{"e", "cal", "Title", std::nullopt, 10.0, 20.0, false}};
  BridgeSnapshot result = snapshot(5.0, 25.0);
  EXPECT_THAT(fake().callLog(), ElementsAre("newStore", "authorizationStatus", "authorizationStatus",
                                            "newStore", "eventCalendars", "eventsMatching"));
  EXPECT_THAT(storesAliveAtStatusQuery, ElementsAre(1, 0));
  EXPECT_EQ(fake().queryStart, 5.0);
  EXPECT_EQ(fake().queryEnd, 25.0);
  EXPECT_EQ(result.events().size(), 1u);
  EXPECT_EQ(fake().storesAlive, 0);
}

TEST_F(AccessGateTest, GateOutcomesAndTheirTexts) {
  struct Case {
    const char* name;
    std::int64_t status;
    std::optional<Answer> answer;  // nullopt: never answered
    std::int64_t statusAfterAnswer;
    std::optional<std::string> bundleId;
    Outcome expected;
    bool read;
  };
  const std::string denied = calendarAccessDeniedMessage("denied");
  fake().bundleId = "com.github.Electron";
  const std::string developmentRestricted = calendarAccessDeniedMessage("restricted");
  const std::string developmentNotDetermined = calendarAccessDeniedMessage("not-determined");
  fake().bundleId.reset();
  const std::string notDetermined = calendarAccessDeniedMessage("not-determined");
  const std::string timedOut = "macOS did not finish the Calendar permission request.";
  const Answer granted{true, std::nullopt};
  const Case cases[] = {
      {"granted", 0, granted, 3, std::nullopt, {}, true},
      {"refused", 0, Answer{false, std::nullopt}, 2, std::nullopt,
       {true, BridgeFailure::accessDenied, denied}, false},
      {"restricted", 1, granted, 3, "com.github.Electron",
       {true, BridgeFailure::accessDenied, developmentRestricted}, false},
      {"error", 0, Answer{true, "No calendar daemon."}, 3, std::nullopt,
       {true, std::nullopt, "No calendar daemon."}, false},
      {"granted, status stays 0", 0, granted, 0, std::nullopt,
       {true, BridgeFailure::accessDenied, notDetermined}, false},
      {"granted, status stays 0, development", 0, granted, 0, "com.github.Electron",
       {true, BridgeFailure::accessDenied, developmentNotDetermined}, false},
      {"error with a NUL", 0, Answer{false, std::string("boom \0 x", 8)}, 2, std::nullopt,
       {true, std::nullopt, "boom \uFFFD x"}, false},
      {"error without text", 0, Answer{false, ""}, 2, std::nullopt,
       {true, BridgeFailure::accessDenied, denied}, false},
      {"never answered", 0, std::nullopt, 0, std::nullopt,
       {true, BridgeFailure::accessTimedOut, timedOut}, false},
  };
  for (const Case& c : cases) {
    fake::reset();
    fake().calendars = std::vector<fake::Calendar>{{"cal", "Work", "Local", {}}};
    fake().status = c.status;
    fake().bundleId = c.bundleId;
    if (c.answer) {
      fake().onRequest = [&c](fake::PendingRequest request) {
        fake::platform().status = c.statusAfterAnswer;
        request.completion(c.answer->granted, c.answer->error);
      };
    }
    Outcome outcome = outcomeOf([] { snapshot(0.0, 1.0); });
    EXPECT_EQ(outcome.threw, c.expected.threw) << c.name;
    EXPECT_EQ(outcome.failure, c.expected.failure) << c.name;
    EXPECT_EQ(outcome.text, c.expected.text) << c.name;
    EXPECT_EQ(fake().count("eventsMatching"), c.read ? 1 : 0) << c.name;
    EXPECT_EQ(fake().count("requestFullAccess"), c.status == 0 ? 1 : 0) << c.name;
    // A request that is never answered keeps its store, as the platform does.
    EXPECT_EQ(fake().storesAlive, c.answer ? 0 : 1) << c.name;
    fake().pending.clear();
    EXPECT_EQ(fake().storesAlive, 0) << c.name;
  }
}

}  // namespace
}  // namespace vantrel
