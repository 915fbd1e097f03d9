// What the stand-in answers when the variable is unset and when a document
// leaves its keys out, and that its given values come through unchanged.
#include <gtest/gtest.h>
#include <unistd.h>

#ifdef __APPLE__
#include <mach-o/dyld.h>

#include <cstdint>
#endif

#include <climits>
#include <cstdlib>
#include <string>

#include "platform.h"
#include "standin_test_document.h"

namespace vantrel {
namespace {

using standin_test::TestDocument;

std::string realProgramPath() {
#ifdef __APPLE__
  char program[PATH_MAX] = {};
  std::uint32_t size = sizeof program;
  char path[PATH_MAX] = {};
  if (_NSGetExecutablePath(program, &size) != 0 || realpath(program, path) == nullptr) return {};
  return path;
#else
  char path[PATH_MAX] = {};
  const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  return length > 0 ? std::string(path, static_cast<std::size_t>(length)) : std::string();
#endif
}

void expectRealProcess() {
  EXPECT_EQ(platform::mainBundleExecutablePath(), realProgramPath());
  const auto arguments = platform::processArguments();
  ASSERT_FALSE(arguments.empty());
  EXPECT_NE(arguments[0].find("standin_tests"), std::string::npos) << arguments[0];
}

// Unset or empty, one line on stderr says so, once per process (so not at
// all when a test before this one in the process had it).
TEST(StandinDefaults, UnsetOrEmptyVariableIsAStoreWithoutDatabase) {
  testing::internal::CaptureStderr();
  for (const char* value : {static_cast<const char*>(nullptr), ""}) {
    if (value == nullptr) {
      unsetenv(standin_test::kVariable);
    } else {
      setenv(standin_test::kVariable, value, 1);
    }
    EXPECT_EQ(platform::authorizationStatus(), 1);
    EXPECT_EQ(platform::mainBundleIdentifier(), std::nullopt);
    expectRealProcess();
    const auto store = platform::newStore();
    const auto calendars = platform::eventCalendars(*store);
    ASSERT_TRUE(calendars.has_value());
    EXPECT_TRUE(calendars->empty());
    EXPECT_EQ(platform::eventCount(*platform::eventsMatching(*store, -1e10, 1e10, {})), 0u);
  }
  const std::string warning = testing::internal::GetCapturedStderr();
  if (!warning.empty()) {
    EXPECT_EQ(warning, "stand-in store: VANTREL_STANDIN_STORE is unset or empty, so every answer is "
                       "that of a store with no calendars whose access is restricted; set it to "
                       "the path of a stand-in store document.\n");
  }
  unsetenv(standin_test::kVariable);
}

TEST(StandinDefaults, EmptyDocument) {
  const TestDocument document("{}");
  EXPECT_EQ(platform::authorizationStatus(), 3);
  EXPECT_EQ(platform::mainBundleIdentifier(), std::nullopt);
  expectRealProcess();
  const auto calendars = platform::eventCalendars(*platform::newStore());
  ASSERT_TRUE(calendars.has_value());
  EXPECT_TRUE(calendars->empty());
}

TEST(StandinDefaults, GivenValuesComeThrough) {
  const TestDocument document(R"({"status":-7,"bundleIdentifier":"com.tavimo.app",
      "executablePath":"/Applications/Tavimo.app/Contents/MacOS/Tavimo",
      "arguments":["/x/Tavimo","--flag",""]})");
  EXPECT_EQ(platform::authorizationStatus(), -7);
  EXPECT_EQ(platform::mainBundleIdentifier(), "com.tavimo.app");
  EXPECT_EQ(platform::mainBundleExecutablePath(), "/Applications/Tavimo.app/Contents/MacOS/Tavimo");
  EXPECT_EQ(platform::processArguments(), (std::vector<std::string>{"/x/Tavimo", "--flag", ""}));

  document.write(R"({"bundleIdentifier":null,"executablePath":null,"arguments":[]})");
  EXPECT_EQ(platform::mainBundleIdentifier(), std::nullopt);
  EXPECT_EQ(platform::mainBundleExecutablePath(), std::nullopt);
  EXPECT_TRUE(platform::processArguments().empty());
}

TEST(StandinDefaults, BadDocumentBundleValuesAreTheRealProcess) {
  const TestDocument document(R"({"bundleIdentifier":"com.tavimo.app","status":null})");
  testing::internal::CaptureStderr();
  EXPECT_EQ(platform::mainBundleIdentifier(), std::nullopt);
  expectRealProcess();
  testing::internal::GetCapturedStderr();
}

TEST(StandinDefaults, CalendarsNullIsNoListAndEmptyIsAnEmptyList) {
  const TestDocument document(R"({"calendars":null})");
  EXPECT_EQ(platform::eventCalendars(*platform::newStore()), std::nullopt);
  document.write(R"({"calendars":[]})");
  const auto calendars = platform::eventCalendars(*platform::newStore());
  ASSERT_TRUE(calendars.has_value());
  EXPECT_TRUE(calendars->empty());
}

TEST(StandinDefaults, CalendarProperties) {
  const TestDocument document(R"({"calendars":[
      {"id":"w","title":"Work","source":"iCloud","color":[1,0.5,0,1]},
      {"id":"g","color":[0.2,1.0]},
      {"color":[]},
      {"id":null,"title":null,"source":null,"color":null}]})");
  const auto calendars = platform::eventCalendars(*platform::newStore());
  ASSERT_TRUE(calendars.has_value());
  ASSERT_EQ(calendars->size(), 4u);
  const platform::Calendar& work = *(*calendars)[0];
  EXPECT_EQ(platform::calendarIdentifier(work), "w");
  EXPECT_EQ(platform::calendarTitle(work), "Work");
  EXPECT_EQ(platform::calendarSourceTitle(work), "iCloud");
  EXPECT_EQ(platform::calendarColorComponents(work), (std::vector<double>{1, 0.5, 0, 1}));
  EXPECT_EQ(platform::calendarColorComponents(*(*calendars)[1]), (std::vector<double>{0.2, 1.0}));
  EXPECT_EQ(platform::calendarColorComponents(*(*calendars)[2]), std::vector<double>{});
  for (const std::size_t i : {2, 3}) {
    const platform::Calendar& bare = *(*calendars)[i];
    EXPECT_EQ(platform::calendarIdentifier(bare), std::nullopt);
    EXPECT_EQ(platform::calendarTitle(bare), std::nullopt);
    EXPECT_EQ(platform::calendarSourceTitle(bare), std::nullopt);
  }
  EXPECT_EQ(platform::calendarColorComponents(*(*calendars)[3]), std::nullopt);
}

TEST(StandinDefaults, SampleDocumentLoads) {
  setenv(standin_test::kVariable, VANTREL_SAMPLES_DIR "/standin-store.json", 1);
  EXPECT_EQ(platform::authorizationStatus(), 3);
  EXPECT_EQ(platform::mainBundleIdentifier(), "com.tavimo.app");
  EXPECT_EQ(platform::eventCalendars(*platform::newStore())->size(), 3u);
  EXPECT_EQ(standin_test::eventIds(1772409600, 1772841600).size(), 8u);  // 2 to 7 March 2026
  unsetenv(standin_test::kVariable);
}

}  // namespace
}  // namespace vantrel
