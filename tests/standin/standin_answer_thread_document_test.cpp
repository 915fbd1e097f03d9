// An access answer that runs on a thread of its own asks the platform about the
// document of its request, never the variable: a Node host rewrites
// VANTREL_STANDIN_STORE on its JavaScript thread whenever it likes, and reading
// the environment on one thread while another writes it can crash.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform.h"
#include "standin_test_document.h"

namespace vantrel {
namespace {

using standin_test::TestDocument;

struct Seen {
  std::int64_t status = -100;
  std::optional<std::string> bundle;
  std::optional<std::string> executablePath;
  bool otherThread = false;
};

TEST(StandinAnswerThreadDocument, AnswerSeesItsRequestsDocumentAfterTheVariableMoved) {
  const TestDocument requested(
      R"({"status":0,"bundleIdentifier":"com.example.requested","executablePath":"/requested",)"
      R"("request":{"granted":false,"statusAfter":2}})");
  // Shared with the answering thread, which may still be finishing after the test.
  struct HandOver {
    std::promise<void> moved;
    std::promise<Seen> seen;
  };
  auto handOver = std::make_shared<HandOver>();
  std::future<Seen> seen = handOver->seen.get_future();
  const std::thread::id caller = std::this_thread::get_id();
  platform::requestFullAccess(platform::newStore(), [handOver, caller](bool, std::optional<std::string>) {
    handOver->moved.get_future().wait();
    handOver->seen.set_value({platform::authorizationStatus(), platform::mainBundleIdentifier(),
                              platform::mainBundleExecutablePath(),
                              std::this_thread::get_id() != caller});
  });

  const TestDocument later(
      R"({"status":4,"bundleIdentifier":"com.example.later","executablePath":"/later"})");
  handOver->moved.set_value();
  const Seen answer = seen.get();
  EXPECT_TRUE(answer.otherThread);
  EXPECT_EQ(answer.status, 2);
  EXPECT_EQ(answer.bundle, "com.example.requested");
  EXPECT_EQ(answer.executablePath, "/requested");
  // The requesting thread follows the variable as before.
  EXPECT_EQ(platform::authorizationStatus(), 4);
  EXPECT_EQ(platform::mainBundleIdentifier(), "com.example.later");
}

}  // namespace
}  // namespace vantrel
