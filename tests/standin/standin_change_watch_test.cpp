// The stand-in's store watch: it hears the document named by the variable
// rewritten in place or replaced by a rename, also when the path reaches it
// through directories made again or symlinks swapped, and nothing else.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "bridge_failure.h"

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

// Changes reach a watch only while the main thread, this one, turns its run
// loop, as on macOS.
void turnFor(std::chrono::milliseconds span) {
  const auto end = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < end) platform::runLoopStep(0.005);
}

// Permissions bind an ordinary user only: root runs these as nobody.
struct AsOrdinaryUser {
  AsOrdinaryUser() { EXPECT_TRUE(geteuid() != 0 || (setegid(65534) == 0 && seteuid(65534) == 0)); }
  ~AsOrdinaryUser() {
    if (getuid() == 0) {
      EXPECT_TRUE(seteuid(0) == 0 && setegid(0) == 0);
    }
  }
};

struct Heard {
  std::atomic<int> count{0};
  platform::StoreWatch* watch = nullptr;

  explicit Heard() : watch(platform::startStoreWatch([this] { ++count; })) {}
  ~Heard() { platform::stopStoreWatch(watch); }
  bool waitForAny() const {
    const auto end = std::chrono::steady_clock::now() + kPatience;
    while (count == 0 && std::chrono::steady_clock::now() < end) platform::runLoopStep(0.005);
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
  turnFor(200ms);
  EXPECT_EQ(heard.count, 0);
  document.write(R"({"status":2})");
  EXPECT_TRUE(heard.waitForAny());
}

TEST_F(StandinChangeWatch, AnUnsetVariableGivesAWatchThatNeverHears) {
  unsetenv(standin_test::kVariable);
  const Heard heard;
  EXPECT_NE(heard.watch, nullptr);
}

TEST_F(StandinChangeWatch, FollowsThePathItWasGivenWhereverItLeads) {
  namespace fs = std::filesystem;
  struct Step {
    std::function<void(const fs::path&)> action;
    bool heard;
  };
  struct Case {
    const char* name;
    std::function<fs::path(const fs::path&)> layout;  // the variable's path
    std::vector<Step> steps;
  };
  const auto write = [](const fs::path& file) { std::ofstream(file, std::ios::trunc) << "{}"; };
  const auto replace = [&write](const fs::path& file) {
    write(file.string() + ".new");
    fs::rename(file.string() + ".new", file);
  };
  const auto mode = [](const fs::path& file, fs::perms perms) { fs::permissions(file, perms); };
  const AsOrdinaryUser user;
  const Case cases[] = {
      {"its directory deleted and made again",
       [&](const fs::path& base) {
         fs::create_directory(base / "d");
         write(base / "d/s.json");
         return base / "d/s.json";
       },
       {{[&](const fs::path& base) {
           fs::remove_all(base / "d");
           fs::create_directory(base / "d");
           write(base / "d/s.json");
         },
         true},
        {[&](const fs::path& base) { write(base / "d/s.json"); }, true},
        {[&](const fs::path& base) { replace(base / "d/s.json"); }, true}}},
      {"its directory renamed away and another made",
       [&](const fs::path& base) {
         fs::create_directory(base / "d");
         write(base / "d/s.json");
         return base / "d/s.json";
       },
       {{[&](const fs::path& base) {
           fs::rename(base / "d", base / "old");
           fs::create_directory(base / "d");
           write(base / "d/s.json");
         },
         true},
        {[&](const fs::path& base) { write(base / "old/s.json"); }, false},
        {[&](const fs::path& base) { write(base / "d/s.json"); }, true}}},
      {"a symlinked directory on the way swapped",
       [&](const fs::path& base) {
         fs::create_directory(base / "r1");
         fs::create_directory(base / "r2");
         write(base / "r1/s.json");
         write(base / "r2/s.json");
         fs::create_directory_symlink("r1", base / "current");
         return base / "current/s.json";
       },
       {{[&](const fs::path& base) {
           fs::create_directory_symlink("r2", base / "next");
           fs::rename(base / "next", base / "current");
         },
         true},
        {[&](const fs::path& base) { write(base / "r2/s.json"); }, true},
        {[&](const fs::path& base) { write(base / "r1/s.json"); }, false}}},
      {"a symlink to the document, rewritten through its own path",
       [&](const fs::path& base) {
         fs::create_directory(base / "t");
         write(base / "t/s.json");
         fs::create_symlink("t/s.json", base / "link.json");
         return base / "link.json";
       },
       {{[&](const fs::path& base) { write(base / "t/s.json"); }, true},
        {[&](const fs::path& base) { replace(base / "t/s.json"); }, true}}},
      {"a hard link to the document, rewritten through the other",
       [&](const fs::path& base) {
         fs::create_directory(base / "t");
         write(base / "t/s.json");
         fs::create_hard_link(base / "t/s.json", base / "h.json");
         return base / "h.json";
       },
       {{[&](const fs::path& base) { write(base / "t/s.json"); }, true},
        // The other name now names another file; this one's is unchanged.
        {[&](const fs::path& base) { replace(base / "t/s.json"); }, false}}},
      {"the document unreadable for a moment",
       [&](const fs::path& base) {
         write(base / "s.json");
         return base / "s.json";
       },
       {{[&](const fs::path& base) { mode(base / "s.json", fs::perms::none); }, true},
        {[&](const fs::path& base) { mode(base / "s.json", fs::perms::owner_all); }, true},
        {[&](const fs::path& base) { write(base / "s.json"); }, true}}},
      {"its directory closed while a name on the way changes",
       [&](const fs::path& base) {
         fs::create_directory(base / "d");
         write(base / "d/s.json");
         return base / "d/s.json";
       },
       {{[&](const fs::path& base) {
           mode(base / "d", fs::perms::none);
           write(base / "other");
         },
         true},
        {[&](const fs::path& base) { mode(base / "d", fs::perms::owner_all); }, true},
        {[&](const fs::path& base) { write(base / "d/s.json"); }, true}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Each name made in a directory on the way wakes the watch, which then
    // walks the path again: a busy /tmp would hide a watch gone deaf.
    const bool quiet = std::filesystem::is_directory("/dev/shm");
    std::string made = (quiet ? "/dev/shm/" : testing::TempDir()) + "vantrel-watch-XXXXXX";
    ASSERT_NE(mkdtemp(made.data()), nullptr);
    const fs::path base(made);
    setenv(standin_test::kVariable, c.layout(base).c_str(), 1);
    {
      Heard heard;
      ASSERT_NE(heard.watch, nullptr);
      for (std::size_t i = 0; i < c.steps.size(); ++i) {
        const int before = heard.count;
        c.steps[i].action(base);
        if (c.steps[i].heard) {
          const auto end = std::chrono::steady_clock::now() + kPatience;
          while (heard.count == before && std::chrono::steady_clock::now() < end) {
            platform::runLoopStep(0.005);
          }
        }
        // Time for stragglers, and for a watch that wrongly heard to say so.
        turnFor(150ms);
        EXPECT_EQ(heard.count > before, c.steps[i].heard) << "step " << i;
      }
    }
    unsetenv(standin_test::kVariable);
    fs::remove_all(base);
  }
}

TEST_F(StandinChangeWatch, AnAnswerThatChangesTheStatusIsAChangeOnceTheStatusShowsIt) {
  const TestDocument document(R"({"status":0,"request":{"thread":"caller","statusLagMs":300}})");
  const Heard heard;
  platform::requestFullAccess(platform::newStore(), [](bool, std::optional<std::string>) {});
  ASSERT_TRUE(heard.waitForAny());
  EXPECT_EQ(platform::authorizationStatus(), 3) << "heard before the status showed the answer";
  // Answered again with the same status: no change.
  platform::requestFullAccess(platform::newStore(), [](bool, std::optional<std::string>) {});
  turnFor(400ms);
  EXPECT_EQ(heard.count, 1);
}

TEST_F(StandinChangeWatch, ChangesWaitForTheMainThreadsRunLoopAndCountAsOne) {
  const TestDocument document(R"({"status":3})");
  const Heard heard;
  for (const char* text : {R"({"status":2})", R"({"status":1})"}) {
    document.write(text);
    std::this_thread::sleep_for(200ms);  // heard by the watch's thread by now
  }
  std::thread([] { platform::runLoopStep(0.005); }).join();
  EXPECT_EQ(heard.count, 0) << "handed over without the main thread's run loop";
  platform::runLoopStep(0);
  platform::runLoopStep(0);
  EXPECT_EQ(heard.count, 1);
}

TEST_F(StandinChangeWatch, AWatchThatCannotStartSaysWhyAndNamesThePath) {
  struct Case {
    std::string path;
    bool descriptorsLeft;
    const char* cause;
  };
  const AsOrdinaryUser user;
  std::string locked = testing::TempDir() + "vantrel-locked-XXXXXX";
  ASSERT_NE(mkdtemp(locked.data()), nullptr);
  ASSERT_EQ(chmod(locked.c_str(), 0), 0);
  const Case cases[] = {
      {"/nonexistent-vantrel-directory/store.json", true, "its directory does not exist"},
      {locked + "/d/store.json", true,
       "a directory on its path may not be searched (Permission denied)"},
      {"/tmp/store.json", false, "this process has no file descriptor left"},
  };
  for (const Case& c : cases) {
    setenv(standin_test::kVariable, c.path.c_str(), 1);
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    if (!c.descriptorsLeft) {
      const int lowestFree = dup(0);
      close(lowestFree);
      limit.rlim_cur = static_cast<rlim_t>(lowestFree);
      setrlimit(RLIMIT_NOFILE, &limit);
    }
    std::string thrown;
    try {
      platform::stopStoreWatch(platform::startStoreWatch([] {}));
    } catch (const PlatformError& error) {
      thrown = error.what();
    }
    setrlimit(RLIMIT_NOFILE, &saved);
    EXPECT_EQ(thrown, "Calendar changes cannot be watched (" + c.path + "): " + c.cause + ".");
  }
  unsetenv(standin_test::kVariable);
  chmod(locked.c_str(), 0700);
  rmdir(locked.c_str());
}

}  // namespace
}  // namespace vantrel
