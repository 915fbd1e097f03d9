// The stand-in's store watch: it hears the document named by the variable
// rewritten in place or replaced by a rename, and nothing else of its
// directory.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <string>
#include <thread>

#include "platform.h"
#include "standin_test_document.h"

namespace vantrel {
namespace {

using namespace std::chrono_literals;
using standin_test::TestDocument;

// Only bounds a wait that a working watch ends far sooner.
constexpr auto kPatience = 10s;

class StandinChangeWatch : public ::testing::Test {
 protected:
  void SetUp() override {
#if !defined(__linux__)
    GTEST_SKIP() << "the stand-in watches documents through inotify, on Linux only";
#endif
  }
};

struct Heard {
  std::atomic<int> count{0};
  platform::StoreWatch* watch = nullptr;

  explicit Heard() : watch(platform::startStoreWatch([this] { ++count; })) {}
  ~Heard() { platform::stopStoreWatch(watch); }
  bool waitForAny() const {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (count == 0 && std::chrono::steady_clock::now() < end) std::this_thread::sleep_for(5ms);
    return count > 0;
  }
};

TEST_F(StandinChangeWatch, HearsTheDocumentRewrittenInPlace) {
  const TestDocument document(R"({"status":3})");
  const Heard heard;
  ASSERT_NE(heard.watch, nullptr);
  document.write(R"({"status":2})");
  EXPECT_TRUE(heard.waitForAny());
}

TEST_F(StandinChangeWatch, HearsTheDocumentReplacedByARename) {
  const TestDocument document(R"({"status":3})");
  const std::string replacement = document.path() + ".new";
  std::ofstream(replacement) << R"({"status":2})";
  const Heard heard;
  ASSERT_NE(heard.watch, nullptr);
  ASSERT_EQ(rename(replacement.c_str(), document.path().c_str()), 0);
  EXPECT_TRUE(heard.waitForAny());
}

TEST_F(StandinChangeWatch, IgnoresOtherFilesOfTheDirectory) {
  const TestDocument document(R"({"status":3})");
  const std::string sibling = document.path() + ".other";
  const Heard heard;
  ASSERT_NE(heard.watch, nullptr);
  std::ofstream(sibling) << "{}";
  ASSERT_EQ(unlink(sibling.c_str()), 0);
  // Time for a watch that wrongly heard them to have said so.
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(heard.count, 0);
  document.write(R"({"status":2})");
  EXPECT_TRUE(heard.waitForAny());
}

TEST_F(StandinChangeWatch, AnUnsetVariableGivesAWatchThatNeverHears) {
  unsetenv(standin_test::kVariable);
  const Heard heard;
  EXPECT_NE(heard.watch, nullptr);
}

TEST_F(StandinChangeWatch, ADocumentInAMissingDirectoryCannotBeWatched) {
  setenv(standin_test::kVariable, "/nonexistent-vantrel-directory/store.json", 1);
  const Heard heard;
  EXPECT_EQ(heard.watch, nullptr);
  unsetenv(standin_test::kVariable);
}

}  // namespace
}  // namespace vantrel
