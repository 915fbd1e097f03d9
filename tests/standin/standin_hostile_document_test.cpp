// Hostile stand-in documents, each with its clear answer: a truncated file or
// text that is not UTF-8 fails with "not JSON" and the parser's position,
// nesting as deep as a file can make it is parsed without recursion, and the
// texts that JSON can carry (NUL, control characters, surrogate pairs) reach
// the snapshot escaped by its rules.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "bridge_failure.h"
#include "platform.h"
#include "standin_process.h"
#include "standin_test_document.h"
#include "tavimo_calendar.h"

namespace vantrel {
namespace {

using standin_test::TestDocument;

constexpr std::size_t kDepth = 100'000;

// What newStore throws for the current document; empty when it accepts it.
std::string problemOf(const TestDocument& document) {
  try {
    platform::newStore();
    return "";
  } catch (const PlatformError& error) {
    const std::string prefix = "stand-in store " + document.path() + ": ";
    const std::string text = error.what();
    EXPECT_EQ(text.rfind(prefix, 0), 0u) << text;
    return text.substr(prefix.size());
  }
}

TEST(StandinHostileDocument, EveryTruncationIsNotJson) {
  const std::string whole =
      R"({"status":3,"bundleIdentifier":"com.tavimo.app","request":{"delayMs":1.5},)"
      R"("calendars":[{"id":"c","title":"日本","color":[0.5,1]}],)"
      R"("events":[{"id":"e","calendar":"c","title":"\"x\" \u00e9 \ud83d\udcc5","allDay":true,)"
      R"("start":"2026-03-02T09:00:00Z","end":1772445600.25}]})";
  {
    const TestDocument document(whole);
    ASSERT_EQ(problemOf(document), "");
  }
  for (std::size_t length = 0; length < whole.size(); ++length) {
    SCOPED_TRACE(length);
    const TestDocument document(whole.substr(0, length));
    EXPECT_EQ(problemOf(document).rfind("not JSON: parse error at line 1, column ", 0), 0u);
  }
}

// The parser reads a NUL as the end of the text, so without a check of its
// own whatever follows one would be ignored.
TEST(StandinHostileDocument, NulByteAnywhereIsNotJson) {
  const std::string valid = R"({"status":3,"calendars":[{"id":"c"}]})";
  const std::pair<std::string, std::size_t> cases[] = {
      {valid + std::string(1, '\0') + "garbage{{{", valid.size()},
      {valid + std::string(1, '\0'), valid.size()},
      {std::string(1, '\0') + valid, 0},
      {R"({"calendars":[{"id":"c)" + std::string(1, '\0') + R"("}]})", 22},
  };
  for (const auto& [text, offset] : cases) {
    SCOPED_TRACE(offset);
    const TestDocument document(text);
    EXPECT_EQ(problemOf(document), "not JSON: a NUL byte at offset " + std::to_string(offset));
  }
}

TEST(StandinHostileDocument, DeepNestingIsParsedWithoutRecursion) {
  const std::string arrays = std::string(kDepth, '[') + std::string(kDepth, ']');
  std::string objects;
  for (std::size_t i = 0; i < kDepth; ++i) objects += R"({"a":)";
  objects += "1" + std::string(kDepth, '}');
  const struct {
    std::string json;
    std::string problem;  // empty: accepted
  } cases[] = {
      {R"({"unknown":)" + arrays + R"(,"status":3})", ""},
      {R"({"unknown":)" + objects + "}", ""},
      {R"({"events":[)" + arrays + "]}", "events[0]: expected an object, found an array"},
      {R"({"calendars":[{"color":)" + arrays + "}]}",
       "calendars[0].color[0]: expected a number, found an array"},
  };
  for (const auto& c : cases) {
    const TestDocument document(c.json);
    EXPECT_EQ(problemOf(document), c.problem);
  }
  const TestDocument unclosed(R"({"unknown":)" + std::string(kDepth, '['));
  EXPECT_EQ(problemOf(unclosed).rfind("not JSON: parse error at line 1, column ", 0), 0u);
}

TEST(StandinHostileDocument, TextsReachTheSnapshotEscapedOrAreRefused) {
  const struct {
    std::string title;     // as written in the document's JSON
    std::string expected;  // as written in the snapshot; empty: the document is refused
  } cases[] = {
      {R"("\u0000 \u001f \u007f")", R"("\u0000 \u001f )" "\x7F\""},
      {R"("a/b \\ \"q\"")", R"("a\/b \\ \"q\"")"},
      {R"("\ud83d\udcc5 \u00e9")", "\"\xF0\x9F\x93\x85 \xC3\xA9\""},
      {R"("\ud800")", ""},
      {R"("\udc00\ud800")", ""},
      {"\"\xFF\"", ""},
      {"\"\xED\xA0\x80\"", ""},
      {"\"\xC0\xAF\"", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    const TestDocument document(
        R"({"calendars":[{"id":"c"}],"events":[{"id":"e","calendar":"c","start":0,"end":1,"title":)" +
        c.title + "}]}");
    if (c.expected.empty()) {
      // The parser quotes the bytes it stopped at; the text that carries them,
      // and the warning line, are UTF-8 all the same.
      const std::string problem = problemOf(document);
      EXPECT_EQ(problem.rfind("not JSON: parse error at line 1, column ", 0), 0u);
      EXPECT_EQ(standin::validUtf8(problem), problem);
      testing::internal::CaptureStderr();
      platform::authorizationStatus();
      const std::string warning = testing::internal::GetCapturedStderr();
      EXPECT_EQ(warning, "stand-in store " + document.path() + ": " + problem + "\n");
      continue;
    }
    char* failure = nullptr;
    const std::unique_ptr<char, decltype(&tavimo_calendar_string_free)> json(
        tavimo_calendar_snapshot("1970-01-01T00:00:00Z", "1970-01-02T00:00:00Z", &failure),
        &tavimo_calendar_string_free);
    ASSERT_NE(json, nullptr) << failure;
    const std::string text = json.get();
    EXPECT_NE(text.find(R"("title":)" + c.expected + "}"), std::string::npos) << text;
  }
}

}  // namespace
}  // namespace vantrel
