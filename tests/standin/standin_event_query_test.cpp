// Which events a query answers (calendar, overlap, document order) and what
// readEvent hands back for each.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge_failure.h"
#include "platform.h"
#include "standin_test_document.h"

namespace vantrel {
namespace {

using standin_test::TestDocument;

struct OverlapCase {
  const char* id;
  double start;
  double end;
  bool matches;  // in the range [100, 200)
};

const OverlapCase kOverlapCases[] = {
    {"across-start", 50, 150, true},    {"across-end", 150, 250, true},
    {"inside", 120, 180, true},         {"around", 50, 250, true},
    {"exactly", 100, 200, true},        {"ends-at-start", 50, 100, false},
    {"starts-at-end", 200, 250, false}, {"zero-at-start", 100, 100, true},
    {"zero-inside", 150, 150, true},    {"zero-at-end", 200, 200, false},
    {"zero-before", 50, 50, false},     {"after", 250, 300, false},
    {"just-before", 0, 99.999, false},  {"just-after-start", 99.999, 100.001, true},
    // Ending before it starts: the same rule, start before 200 and end after 100.
    {"inverted-inside", 180, 120, true}, {"inverted-from-inside", 150, 50, false},
    {"inverted-at-start", 100, 50, false}, {"inverted-from-end", 200, 150, false},
};

TEST(StandinEventQuery, OverlapRule) {
  std::string events;
  std::vector<std::string> expected;
  for (const OverlapCase& c : kOverlapCases) {
    events += std::string(events.empty() ? "" : ",") + R"({"calendar":"a","id":")" + c.id +
              R"(","start":)" + std::to_string(c.start) + R"(,"end":)" + std::to_string(c.end) +
              "}";
    if (c.matches) expected.push_back(c.id);
  }
  const TestDocument document(R"({"calendars":[{"id":"a"}],"events":[)" + events + "]}");
  EXPECT_EQ(standin_test::eventIds(100, 200), expected);
}

// As EventKit: a range longer than four years is shortened to its first 1,460
// days, so a bridge that asks once loses every later event.
TEST(StandinEventQuery, LongerThanFourYearsIsCutToTheFirstFourYears) {
  const double day = 86400, cap = 1460 * day;
  const TestDocument document(R"({"calendars":[{"id":"a"}],"events":[
      {"id":"first","calendar":"a","start":0,"end":1},
      {"id":"last-day","calendar":"a","start":)" + std::to_string(cap - 1) + R"(,"end":)" +
                              std::to_string(cap + day) + R"(},
      {"id":"past","calendar":"a","start":)" + std::to_string(cap) + R"(,"end":)" +
                              std::to_string(cap + 1) + R"(}]})");
  using Ids = std::vector<std::string>;
  EXPECT_EQ(standin_test::eventIds(0, cap), (Ids{"first", "last-day"}));
  EXPECT_EQ(standin_test::eventIds(0, cap + 2), (Ids{"first", "last-day"}));
  EXPECT_EQ(standin_test::eventIds(0, 10 * cap), (Ids{"first", "last-day"}));
  EXPECT_EQ(standin_test::eventIds(1, cap + 2), (Ids{"last-day", "past"}));
}

TEST(StandinEventQuery, OnlyTheGivenCalendarsInDocumentOrder) {
  const TestDocument document(R"({
      "calendars":[{"id":"a"},{"id":"b"},{"id":null},{"id":"unused"}],
      "events":[{"id":"b1","calendar":"b","start":30,"end":40},
                {"id":"a1","calendar":"a","start":10,"end":20},
                {"id":"x1","calendar":"x","start":10,"end":20},
                {"id":"empty","calendar":"","start":10,"end":20},
                {"id":"b2","calendar":"b","start":0,"end":5},
                {"id":"a2","calendar":"a","start":5,"end":50}]})");
  const auto store = platform::newStore();
  const auto calendars = platform::eventCalendars(*store).value();
  const auto idsOver = [&](const std::vector<platform::CalendarRef>& over) {
    const auto events = platform::eventsMatching(*store, 0, 100, over);
    std::vector<std::string> ids;
    platform::EventValues values;
    for (std::size_t i = 0; i < platform::eventCount(*events); ++i) {
      platform::readEvent(*events, i, values);
      ids.push_back(*values.itemIdentifier + "@" + *values.calendarIdentifier);
    }
    return ids;
  };
  using Ids = std::vector<std::string>;
  EXPECT_EQ(idsOver(calendars), (Ids{"b1@b", "a1@a", "b2@b", "a2@a"}));
  EXPECT_EQ(idsOver({calendars[0]}), (Ids{"a1@a", "a2@a"}));
  EXPECT_EQ(idsOver({calendars[1], calendars[1]}), (Ids{"b1@b", "b2@b"}));
  EXPECT_EQ(idsOver({calendars[2], calendars[3]}), Ids{});
  EXPECT_EQ(idsOver({}), Ids{});

  // Calendars of another store match by their identifier.
  const auto otherStore = platform::newStore();
  EXPECT_EQ(idsOver({platform::eventCalendars(*otherStore).value()[1]}), (Ids{"b1@b", "b2@b"}));
}

TEST(StandinEventQuery, InstantsFromTextsAndNumbers) {
  const TestDocument document(R"({"calendars":[{"id":"a"}],"events":[
      {"id":"0","calendar":"a","start":"2026-03-02T10:00:00+01:00","end":"2026-03-02T09:30:00.250Z"},
      {"id":"1","calendar":"a","start":"2026-03-01T22:00:00-11:00","end":"2026-03-02T09:00:00.000Z"},
      {"id":"2","calendar":"a","start":-0.5,"end":1772442000},
      {"id":"3","calendar":"a","start":-62167219200,"end":"9999-12-31T23:59:59.999Z"}]})");
  const double expected[][2] = {{1772442000, 1772443800.25},
                                {1772442000, 1772442000},
                                {-0.5, 1772442000},
                                {-62167219200, 253402300799.999}};
  const auto store = platform::newStore();
  const auto calendars = platform::eventCalendars(*store).value();
  platform::EventValues values;
  for (std::size_t i = 0; i < 4; ++i) {
    // One query per event: no four years hold them all.
    const auto events = platform::eventsMatching(*store, expected[i][0], expected[i][0] + 1, calendars);
    bool found = false;
    for (std::size_t k = 0; k < platform::eventCount(*events); ++k) {
      platform::readEvent(*events, k, values);
      if (values.itemIdentifier != std::to_string(i)) continue;
      found = true;
      EXPECT_EQ(values.start, expected[i][0]) << i;
      EXPECT_DOUBLE_EQ(values.end.value_or(0), expected[i][1]) << i;
    }
    EXPECT_TRUE(found) << i;
  }
}

TEST(StandinEventQuery, ReadEventReusesAndClearsTheTexts) {
  const TestDocument document(R"({"calendars":[{"id":"a"}],"events":[
      {"id":"one","calendar":"a","title":"A title long enough to live on the heap",
       "location":"   ","start":0,"end":1,"allDay":true,"occurrenceDate":"1969-12-31T00:00:00Z"},
      {"calendar":"a","title":"Short","location":null,"start":0,"end":1,"allDay":false,
       "occurrenceDate":null},
      {"id":"three","calendar":"a","start":0,"end":1}]})");
  const auto store = platform::newStore();
  const auto events =
      platform::eventsMatching(*store, 0, 1, platform::eventCalendars(*store).value());
  ASSERT_EQ(platform::eventCount(*events), 3u);

  platform::EventValues values;
  platform::readEvent(*events, 0, values);
  EXPECT_EQ(values.itemIdentifier, "one");
  EXPECT_EQ(values.calendarIdentifier, "a");
  EXPECT_EQ(values.location, "   ");
  EXPECT_TRUE(values.isAllDay);
  EXPECT_EQ(values.occurrenceDate, -86400);
  const std::size_t capacity = values.title->capacity();

  platform::readEvent(*events, 1, values);
  EXPECT_EQ(values.itemIdentifier, std::nullopt);
  EXPECT_EQ(values.title, "Short");
  EXPECT_EQ(values.title->capacity(), capacity);
  EXPECT_EQ(values.location, std::nullopt);
  EXPECT_FALSE(values.isAllDay);
  EXPECT_EQ(values.occurrenceDate, 0);  // null: the start

  platform::readEvent(*events, 2, values);
  EXPECT_EQ(values.itemIdentifier, "three");
  EXPECT_EQ(values.title, std::nullopt);
  EXPECT_THROW(platform::readEvent(*events, 3, values), PlatformError);
}

}  // namespace
}  // namespace vantrel
