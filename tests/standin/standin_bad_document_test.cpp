// A document that is wrong in any way fails every operation that can fail with
// a text naming the file and the fault, which one line on standard error
// repeats; status queries answer the default status, so that the read that
// follows fails with that text, and nothing is read as an empty calendar.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "bridge_failure.h"
#include "platform.h"
#include "standin_test_document.h"

namespace vantrel {
namespace {

using standin_test::TestDocument;

struct BadDocument {
  const char* json;
  const char* problem;  // the text after "stand-in store <path>: "
};

constexpr const char* kEvent =
    R"({"calendar":"c","start":"2026-03-02T09:00:00Z","end":"2026-03-02T10:00:00Z"})";

std::string withSecondEvent(const std::string& fields) {
  return std::string(R"({"events":[)") + kEvent + R"(,{"calendar":"c","start":0,"end":1)" + fields +
         "}]}";
}

const BadDocument kBadDocuments[] = {
    {"[]", "expected a JSON object, found an array"},
    {R"({"status":"3"})", R"(status: expected an integer, found "3")"},
    {R"({"status":3.5})", "status: expected an integer, found 3.5"},
    {R"({"status":18446744073709551615})",
     "status: 18446744073709551615 does not fit a signed 64-bit integer"},
    {R"({"bundleIdentifier":7})", "bundleIdentifier: expected a string or null, found 7"},
    {R"({"executablePath":[]})", "executablePath: expected a string or null, found an array"},
    {R"({"arguments":null})", "arguments: expected an array of strings, found null"},
    {R"({"arguments":["a",1]})", "arguments[1]: expected a string, found 1"},
    {R"({"request":true})", "request: expected an object or null, found true"},
    {R"({"request":{"granted":"yes"}})", R"(request.granted: expected true or false, found "yes")"},
    {R"({"request":{"untilMainTurn":1}})", "request.untilMainTurn: expected true or false, found 1"},
    {R"({"request":{"error":false}})", "request.error: expected a string or null, found false"},
    {R"({"request":{"statusAfter":"3"}})",
     R"(request.statusAfter: expected an integer, found "3")"},
    {R"({"request":{"delayMs":"5"}})", R"(request.delayMs: expected a number, found "5")"},
    {R"({"request":{"delayMs":-1}})", "request.delayMs: -1 is negative"},
    {R"({"request":{"statusLagMs":true}})", "request.statusLagMs: expected a number, found true"},
    {R"({"request":{"statusLagMs":-0.5}})", "request.statusLagMs: -0.5 is negative"},
    {R"({"request":{"thread":"main"}})",
     R"(request.thread: "main" is neither "other" nor "caller")"},
    {R"({"request":{"thread":1}})", R"(request.thread: expected "other" or "caller", found 1)"},
    {R"({"calendars":{}})", "calendars: expected an array or null, found an object"},
    {R"({"calendars":[{},1]})", "calendars[1]: expected an object, found 1"},
    {R"({"calendars":[{"id":1}]})", "calendars[0].id: expected a string or null, found 1"},
    {R"({"calendars":[{"title":{}}]})",
     "calendars[0].title: expected a string or null, found an object"},
    {R"({"calendars":[{"source":true}]})",
     "calendars[0].source: expected a string or null, found true"},
    {R"({"calendars":[{"color":"red"}]})",
     R"(calendars[0].color: expected an array of numbers or null, found "red")"},
    {R"({"calendars":[{"color":[1,"0"]}]})",
     R"(calendars[0].color[1]: expected a number, found "0")"},
    {R"({"events":null})", "events: expected an array, found null"},
    {R"({"events":[[]]})", "events[0]: expected an object, found an array"},
    {R"({"events":[{"start":0,"end":1}]})", "events[0].calendar: missing"},
    {R"({"events":[{"calendar":null,"start":0,"end":1}]})",
     "events[0].calendar: expected a string, found null"},
    {R"({"events":[{"calendar":"c","end":1}]})", "events[0].start: missing"},
    {R"({"events":[{"calendar":"c","start":0}]})", "events[0].end: missing"},
    {R"({"events":[{"calendar":"c","start":true,"end":1}]})",
     "events[0].start: expected an ISO-8601 date-time text or a number of seconds, found true"},
    {R"({"events":[{"calendar":"c","start":0,"end":1e300}]})",
     "events[0].end: 1e300 is outside the years 0000 to 9999"},
    {R"({"events":[{"calendar":"c","start":"2026-13-01","end":1}]})",
     R"(events[0].start: "2026-13-01" is not an ISO-8601 date-time)"},
    {R"({"events":[{"calendar":"c","start":0,"end":"2026-03-02T10:00:00"}]})",
     R"(events[0].end: "2026-03-02T10:00:00" is not an ISO-8601 date-time)"},
};

const std::pair<std::string, const char*> kBadSecondEvents[] = {
    {withSecondEvent(R"(,"id":5)"), "events[1].id: expected a string or null, found 5"},
    {withSecondEvent(R"(,"title":["x"])"),
     "events[1].title: expected a string or null, found an array"},
    {withSecondEvent(R"(,"location":0)"), "events[1].location: expected a string or null, found 0"},
    {withSecondEvent(R"(,"allDay":"true")"),
     R"(events[1].allDay: expected true or false, found "true")"},
    {withSecondEvent(R"(,"occurrenceDate":true)"),
     "events[1].occurrenceDate: expected an ISO-8601 date-time text, a number of seconds or null, "
     "found true"},
    {withSecondEvent(R"(,"availability":"busy")"),
     R"(events[1].availability: expected an integer, found "busy")"},
    {withSecondEvent(R"(,"organizer":"Ana")"),
     R"(events[1].organizer: expected an object or null, found "Ana")"},
    {withSecondEvent(R"(,"attendees":{})"),
     "events[1].attendees: expected an array of objects or null, found an object"},
    {withSecondEvent(R"(,"attendees":[{},"Bo"])"),
     R"(events[1].attendees[1]: expected an object, found "Bo")"},
    {withSecondEvent(R"(,"organizer":{"isCurrentUser":1})"),
     "events[1].organizer.isCurrentUser: expected true or false, found 1"},
};

// Every failing operation carries `expected`; status queries answer 3 and say
// it once on standard error; the bundle values fall back to the real process.
void expectBadDocument(const std::string& path, const std::string& problem) {
  const std::string expected = "stand-in store " + path + ": " + problem;
  testing::internal::CaptureStderr();
  try {
    platform::newStore();
    ADD_FAILURE() << "newStore accepted the document; expected: " << expected;
  } catch (const PlatformError& error) {
    EXPECT_EQ(error.what(), expected);
  }

  EXPECT_EQ(platform::authorizationStatus(), 3);
  EXPECT_EQ(platform::authorizationStatus(), 3);
  EXPECT_EQ(platform::mainBundleIdentifier(), std::nullopt);
  EXPECT_THROW(standin_test::eventIds(0, 1), PlatformError);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), expected + "\n");
}

TEST(StandinBadDocument, EveryWrongKeyNamesItsPath) {
  for (const BadDocument& bad : kBadDocuments) {
    SCOPED_TRACE(bad.json);
    const TestDocument document(bad.json);
    expectBadDocument(document.path(), bad.problem);
  }
  for (const auto& [json, problem] : kBadSecondEvents) {
    SCOPED_TRACE(json);
    const TestDocument document(json);
    expectBadDocument(document.path(), problem);
  }
}

TEST(StandinBadDocument, NotJsonGivesTheParserPosition) {
  for (const char* text : {"{", "", "{\"status\": 3,}", "nonsense"}) {
    SCOPED_TRACE(text);
    const TestDocument document(text);
    testing::internal::CaptureStderr();
    try {
      platform::newStore();
      ADD_FAILURE() << "newStore accepted a document that is not JSON";
    } catch (const PlatformError& error) {
      EXPECT_EQ(std::string(error.what())
                    .rfind("stand-in store " + document.path() +
                               ": not JSON: parse error at line 1, column ",
                           0),
                0u)
          << error.what();
    }
    EXPECT_EQ(platform::authorizationStatus(), 3);
    const std::string written = testing::internal::GetCapturedStderr();
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 1) << written;
  }
}

// Each fails at once: a named pipe without a writer would block a blocking
// open for ever, and a device or a directory cannot be a document.
TEST(StandinBadDocument, UnreadableFiles) {
  std::string directory = testing::TempDir() + "vantrel-standin-XXXXXX";
  ASSERT_NE(mkdtemp(directory.data()), nullptr);
  const std::string pipe = directory + "/pipe.json";
  ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
  const std::pair<std::string, const char*> cases[] = {
      {directory + "/missing.json", "cannot be read (No such file or directory)"},
      {directory, "is not a regular file but a directory"},
      {pipe, "is not a regular file but a named pipe"},
      {"/dev/zero", "is not a regular file but a character device"},
  };
  for (const auto& [path, problem] : cases) {
    SCOPED_TRACE(path);
    setenv(standin_test::kVariable, path.c_str(), 1);
    expectBadDocument(path, problem);
  }
  unsetenv(standin_test::kVariable);
  unlink(pipe.c_str());
  rmdir(directory.c_str());
}

// Refused from its size alone, before anything is read: a sparse file costs
// the test no disk and would cost a reader gigabytes.
TEST(StandinBadDocument, OversizedDocumentIsRefusedUnread) {
  const TestDocument document(R"({"status":3})");
  for (const off_t size : {off_t{1} << 30 | 1, off_t{100} << 30}) {
    SCOPED_TRACE(size);
    ASSERT_EQ(truncate(document.path().c_str(), size), 0);
    expectBadDocument(document.path(), "is too large: " + std::to_string(size) +
                                           " bytes, and the stand-in reads at most "
                                           "1073741824 bytes");
  }
}

TEST(StandinBadDocument, WarnsAgainOnlyForAnotherDocument) {
  const TestDocument document(R"({"status":"x"})");
  testing::internal::CaptureStderr();
  platform::authorizationStatus();
  // Same size, newer contents: another document with the same fault.
  document.write(R"({"status":"y"})");
  timespec times[2] = {{0, UTIME_NOW}, {12345, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, document.path().c_str(), times, 0), 0);
  platform::authorizationStatus();
  platform::authorizationStatus();
  const std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(written, "stand-in store " + document.path() +
                         ": status: expected an integer, found \"x\"\n"
                         "stand-in store " +
                         document.path() + ": status: expected an integer, found \"y\"\n");
}

// Keys the format does not know, and events whose calendar is none of the
// document's, are named with their path once per document, which is used.
TEST(StandinBadDocument, UnknownKeysAndCalendarsAreNamedOnce) {
  // A million events with one typo give a few lines, not a million.
  std::string typos = R"({"calendars":[{"id":"c"}],"events":[)";
  std::vector<std::string> typoLines;
  for (int i = 0; i < 25; ++i) {
    typos += std::string(i > 0 ? "," : "") + R"({"calendar":"c","start":0,"end":1,"titel":""})";
    if (i < 20) {
      typoLines.push_back("events[" + std::to_string(i) + "].titel: unknown key, ignored");
    }
  }
  typos += "]}";
  typoLines.push_back("and 5 more like these");
  const struct {
    std::string json;
    std::vector<std::string> lines;
  } cases[] = {
      {R"({"calendar":[{"id":"c"}],"status":2})", {"calendar: unknown key, ignored"}},
      {R"({"calendars":[{"id":"c","colour":[1]}],"request":{"grant":true},)"
       R"("events":[{"calendar":"d","start":0,"end":1,"allday":true,"organizer":{"mail":"a"},)"
       R"("x":{"deep":[{"y":1}]}},{"calendar":"c","start":0,"end":1}]})",
       {"calendars[0].colour: unknown key, ignored", "request.grant: unknown key, ignored",
        "events[0].allday: unknown key, ignored", "events[0].organizer.mail: unknown key, ignored",
        "events[0].x: unknown key, ignored",
        R"(events[0].calendar: "d" names no calendar of the document, so no query finds the event)"}},
      {typos, typoLines},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.json);
    const TestDocument document(c.json);
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(platform::newStore());
    platform::authorizationStatus();
    std::string expected;
    for (const std::string& line : c.lines) {
      expected += "stand-in store " + document.path() + ": " + line + "\n";
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), expected);
  }
}

TEST(StandinBadDocument, TheBrokenStatesWarnedAboutAreBounded) {
  std::vector<std::unique_ptr<TestDocument>> documents;
  testing::internal::CaptureStderr();
  for (int i = 0; i <= 64; ++i) {
    documents.push_back(std::make_unique<TestDocument>(R"({"status":"x"})"));
    platform::authorizationStatus();
  }
  setenv(standin_test::kVariable, documents.front()->path().c_str(), 1);
  platform::authorizationStatus();
  const std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 66) << "the first was never forgotten";
}

}  // namespace
}  // namespace vantrel
