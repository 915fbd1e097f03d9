// A stand-in document that holds a million events: the whole path, from the
// file through the exported snapshot, hands every one of them over in order,
// and a range outside them all gives none.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <string_view>

#include "standin_test_document.h"
#include "tavimo_calendar.h"

namespace vantrel {
namespace {

using standin_test::TestDocument;

constexpr int kEvents = 1'000'000;
constexpr long kFirstStart = 1'767'225'600;  // 2026-01-01T00:00:00Z

using Text = std::unique_ptr<char, decltype(&tavimo_calendar_string_free)>;

Text snapshot(const char* start, const char* end) {
  char* failure = nullptr;
  Text json(tavimo_calendar_snapshot(start, end, &failure), &tavimo_calendar_string_free);
  const Text failed(failure, &tavimo_calendar_string_free);
  EXPECT_EQ(failure, nullptr) << failure;
  return json;
}

std::size_t count(std::string_view text, std::string_view part) {
  std::size_t found = 0;
  for (std::size_t at = text.find(part); at != std::string_view::npos; at = text.find(part, at + 1)) {
    ++found;
  }
  return found;
}

TEST(StandinMillionEvents, EveryEventIsHandedOverInOrder) {
  std::string json = R"({"calendars":[{"id":"c","title":"All"}],"events":[)";
  json.reserve(std::size_t{kEvents} * 80);
  for (int i = 0; i < kEvents; ++i) {
    const std::string start = std::to_string(kFirstStart + i * 30L);
    json += (i ? R"(,{"id":"e)" : R"({"id":"e)") + std::to_string(i) + R"(","calendar":"c","start":)" +
            start + R"(,"end":)" + start + ".5}";
  }
  json += "]}";
  const TestDocument document(json);
  json = std::string();

  const Text all = snapshot("2026-01-01T00:00:00Z", "2027-01-01T00:00:00Z");
  ASSERT_NE(all, nullptr);
  const std::string_view text = all.get();
  EXPECT_EQ(count(text, R"({"calendarId":"c",)"), std::size_t{kEvents});
  EXPECT_EQ(text.rfind(R"({"calendars":[{"color":"#6C4CF0","id":"c","name":"All","sourceName":""}],)"
                       R"("events":[{"calendarId":"c","endIso":"2026-01-01T00:00:00.500Z",)"
                       R"("id":"e0::1767225600000","isAllDay":false,)"
                       R"("startIso":"2026-01-01T00:00:00.000Z","title":"Untitled event"},)",
                       0),
            0u);
  EXPECT_TRUE(text.ends_with(R"({"calendarId":"c","endIso":"2026-12-14T05:19:30.500Z",)"
                             R"("id":"e999999::1797225570000","isAllDay":false,)"
                             R"("startIso":"2026-12-14T05:19:30.000Z","title":"Untitled event"}]})"));

  const Text none = snapshot("2025-01-01T00:00:00Z", "2026-01-01T00:00:00Z");
  ASSERT_NE(none, nullptr);
  EXPECT_STREQ(none.get(),
               R"({"calendars":[{"color":"#6C4CF0","id":"c","name":"All","sourceName":""}],"events":[]})");
}

}  // namespace
}  // namespace vantrel
