// The answer to an access request arrives on a thread of the platform's
// choosing, during the wait or after the waiter gave up. Run under the thread
// and address sanitizers, these fail on a racy hand-over or on cells that die
// with the wait.
#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <string>
#include <thread>

#include "access_gate.h"
#include "bridge_failure.h"
#include "fake_platform.h"

namespace vantrel {
namespace {

class AccessGateThreadsTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
  void TearDown() override { fake::platform().pending.clear(); }
};

TEST_F(AccessGateThreadsTest, AnswerFromAnotherThreadDuringTheWait) {
  struct Case {
    bool granted;
    std::optional<std::string> error;
  };
  const Case cases[] = {
      {true, std::nullopt},
      {false, std::nullopt},
      {true, std::string(200, 'e')},  // long enough to live on the heap
  };
  for (const Case& c : cases) {
    fake::reset();
    std::atomic<bool> waiting{false};
    std::thread answering;
    // The clock stands still, so only the hand-over itself can end the wait.
    const double frozen = fake::platform().clock;
    fake::platform().onRunLoopStep = [&] {
      fake::platform().clock = frozen;
      waiting.store(true);
      std::this_thread::yield();
    };
    bool granted = !c.granted;
    std::optional<std::string> error;
    try {
      granted = waitForAccessRequest([&](platform::AccessCompletion completion) {
        answering = std::thread([&waiting, &c, completion = std::move(completion)] {
          while (!waiting.load()) std::this_thread::yield();
          completion(c.granted, c.error);
        });
      });
    } catch (const PlatformError& thrown) {
      error = thrown.what();
    }
    answering.join();
    EXPECT_EQ(error, c.error);
    if (!c.error) {
      EXPECT_EQ(granted, c.granted);
    }
  }
}

TEST_F(AccessGateThreadsTest, LateAnswerOnAnotherThreadAfterTheWaitTimedOut) {
  std::optional<platform::AccessCompletion> kept;
  try {
    waitForAccessRequest([&](platform::AccessCompletion completion) { kept = std::move(completion); });
    FAIL() << "no answer came, yet the wait ended without failing";
  } catch (BridgeFailure failure) {
    EXPECT_EQ(failure, BridgeFailure::accessTimedOut);
  }
  // The waiter's frame is gone; the completion must still have cells to write.
  std::thread late([completion = std::move(*kept)] {
    completion(true, std::string(200, 'x'));
  });
  kept.reset();
  late.join();
}

TEST_F(AccessGateThreadsTest, LateAnswerToTheGatesRequestReleasesItsStoreAfterwards) {
  fake::platform().status = 0;
  EXPECT_THROW(snapshot(0.0, 1.0), BridgeFailure);
  ASSERT_EQ(fake::platform().pending.size(), 1u);
  fake::PendingRequest request = std::move(fake::platform().pending.front());
  fake::platform().pending.clear();
  std::thread late([request = std::move(request)]() mutable {
    request.completion(true, std::nullopt);
    request = {};
  });
  late.join();
  EXPECT_EQ(fake::platform().storesAlive, 0);
}

}  // namespace
}  // namespace vantrel
