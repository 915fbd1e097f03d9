// Hostile command lines, each with the one outcome it gets: the snapshot on
// standard output with status 0, or the argument text on standard error with
// status 1. An argument cannot hold a NUL (the kernel ends it there), and none
// may be longer than 128 KiB: the kernel refuses to start a program with a
// 100 MB argument at all.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "program_run.h"

namespace vantrel::testing {
namespace {

const std::string kInvalidArguments = "Vantrel requires a start and end ISO date.";
const std::string kStart = "2026-03-01T00:00:00Z";
const std::string kEnd = "2026-04-01T00:00:00Z";
const std::string kCalendars =
    R"({"calendars":[{"color":"#6C4CF0","id":"c","name":"","sourceName":""}],"events":[)";
const std::string kNoEvents = kCalendars + "]}";
const std::string kBeforeEpoch =
    kCalendars +
    R"({"calendarId":"c","endIso":"1970-01-01T00:00:00.000Z","id":"old::-500",)"
    R"("isAllDay":false,"startIso":"1969-12-31T23:59:59.500Z","title":"Untitled event"}]})";

// The longest argument Linux passes (MAX_ARG_STRLEN, 32 pages, NUL included).
constexpr std::size_t kLongest = 32 * 4096 - 1;

struct Case {
  const char* what;
  std::vector<std::string> arguments;
  std::string out;  // empty: refused with the argument text
};

TEST(CommandHostileArguments, EachGetsItsOneOutcome) {
  StoreDocument store(R"({"status":3,"calendars":[{"id":"c"}],"events":[
    {"id":"old","calendar":"c","start":-0.5,"end":0}]})");
  const std::vector<Case> cases = {
      {"invalid UTF-8", {"2026-03-01T00:00:00\xFF", kEnd}, ""},
      {"overlong UTF-8", {kStart + "\xC0\xAF", kEnd}, ""},
      {"full-width digits", {"\xEF\xBC\x92" "026-03-01T00:00:00Z", kEnd}, ""},
      {"128 KiB of fraction digits",
       {"2026-03-01T00:00:00." + std::string(kLongest - 21, '0') + "Z", kEnd}, kNoEvents},
      {"128 KiB of junk", {kStart, std::string(kLongest, 'Z')}, ""},
      {"year 0000", {"0000-01-01T00:00:00Z", kEnd}, kBeforeEpoch},
      {"year 10000", {kStart, "10000-01-01T00:00:00Z"}, ""},
      {"offset +24:00", {"2026-03-01T00:00:00+24:00", kEnd}, ""},
      {"offset +23:59", {"2026-03-01T00:00:00+23:59", kEnd}, kNoEvents},
      {"leap second", {"2026-03-01T23:59:60Z", kEnd}, ""},
      {"negative instants", {"1969-12-31T00:00:00Z", "1970-01-01T00:00:00.001Z"}, kBeforeEpoch},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramRun run = runCommand(c.arguments, store.path());
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, c.out.empty() ? 1 : 0);
    EXPECT_EQ(run.out, c.out);
    EXPECT_EQ(run.err, c.out.empty() ? kInvalidArguments : "");
  }
}

// A store document the program cannot use: it ends at once, with status 1 and
// a UTF-8 text that names the file and what is wrong.
TEST(CommandHostileArguments, UnusableStoreDocumentsFailAtOnceNamingTheFile) {
  std::string directory = ::testing::TempDir() + "vantrel-cli-XXXXXX";
  ASSERT_NE(::mkdtemp(directory.data()), nullptr);
  const std::string pipe = directory + "/pipe.json";
  ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
  const StoreDocument sparse(R"({"status":3})");
  ASSERT_EQ(::truncate(sparse.path().c_str(), off_t{100} << 30), 0);
  const StoreDocument notUtf8("{\"calendars\":[{\"id\":\"C\xFF\"}]}");
  const struct {
    std::string path;
    std::string problem;
  } cases[] = {
      {pipe, "is not a regular file but a named pipe"},
      {sparse.path(),
       "is too large: 107374182400 bytes, and the stand-in reads at most 1073741824 bytes"},
      {notUtf8.path(),
       "not JSON: parse error at line 1, column 23: syntax error while parsing value - "
       "invalid string: ill-formed UTF-8 byte; last read: '\"C\xEF\xBF\xBD'"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const ProgramRun run = runCommand({kStart, kEnd}, c.path);
    EXPECT_TRUE(run.exited);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "stand-in store " + c.path + ": " + c.problem);
  }
  ::unlink(pipe.c_str());
  ::rmdir(directory.c_str());
}

TEST(CommandHostileArguments, A100MBArgumentNeverStartsTheProgram) {
  try {
    runCommand({std::string(100'000'000, '2'), kEnd}, std::nullopt);
    FAIL() << "the program ran";
  } catch (const std::runtime_error& error) {
    EXPECT_NE(std::string(error.what()).find(std::strerror(E2BIG)), std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace vantrel::testing
