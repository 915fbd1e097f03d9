#include "snapshot_reader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "bridge_failure.h"
#include "fake_platform.h"
#include "iso_date.h"

namespace vantrel {
namespace {

using ::testing::ElementsAre;

class SnapshotReaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::reset();
    store().calendars = std::vector<fake::Calendar>{{"cal", "Work", "Local", {}}};
  }
  fake::Platform& store() { return fake::platform(); }

  static fake::Event event(std::string id, double start) {
    fake::Event e;
    e.itemId = std::move(id);
    e.calendarId = "cal";
    e.title = "Title";
    e.start = start;
    e.end = start + 3600;
    return e;
  }
};

TEST_F(SnapshotReaderTest, DeniedWithoutTouchingTheStoreForEveryStatusButFullAccess) {
  for (std::int64_t status : {0, 1, 2, 4, 7, -1}) {
    fake::reset();
    store().status = status;
    try {
      readAuthorizedSnapshot(0, 1);
      FAIL() << "status " << status << " was read";
    } catch (AccessDenied denied) {
      EXPECT_EQ(denied.status, platform::AuthorizationStatus{status});
    }
    EXPECT_THAT(store().callLog(), ElementsAre("authorizationStatus")) << status;
    EXPECT_EQ(store().storesCreated, 0);
  }
}

TEST_F(SnapshotReaderTest, OneStoreOneListingOneQueryOverThatList) {
  store().calendars = std::vector<fake::Calendar>{{"a", "A", "S", {}}, {"b", "B", "S", {}}};
  BridgeSnapshot snapshot = readAuthorizedSnapshot(100, 200);
  EXPECT_THAT(store().callLog(),
              ElementsAre("authorizationStatus", "newStore", "eventCalendars", "eventsMatching"));
  EXPECT_EQ(store().queryStart, 100);
  EXPECT_EQ(store().queryEnd, 200);
  EXPECT_THAT(store().queryCalendarIds, ElementsAre("a", "b"));
  EXPECT_EQ(snapshot.calendars().size(), 2u);
  EXPECT_TRUE(snapshot.events().empty());
  EXPECT_EQ(store().storesAlive, 0) << "the store outlived the read";
}

TEST_F(SnapshotReaderTest, NoCalendarsNoQueryNotEvenOverAnEmptyList) {
  for (bool absent : {true, false}) {
    fake::reset();
    if (absent) store().calendars.reset();
    store().events = {event("e", 0)};
    BridgeSnapshot snapshot = readAuthorizedSnapshot(0, 1);
    EXPECT_TRUE(snapshot.calendars().empty());
    EXPECT_TRUE(snapshot.events().empty());
    char* text = readAuthorizedSnapshotText(0, 4000 * 86400.0);
    EXPECT_STREQ(text, R"({"calendars":[],"events":[]})");
    std::free(text);
    EXPECT_EQ(store().count("eventsMatching"), 0);
  }
}

TEST_F(SnapshotReaderTest, CalendarFieldsAndDefaults) {
  store().calendars = std::vector<fake::Calendar>{
      {"id-1", "Work ", "iCloud", std::vector<double>{0.0, 0.0, 1.0}},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt},
  };
  BridgeSnapshot snapshot = readAuthorizedSnapshot(0, 1);
  ASSERT_EQ(snapshot.calendars().size(), 2u);
  const BridgeCalendar& work = snapshot.calendars()[0];
  EXPECT_EQ(work.id(), "id-1");
  EXPECT_EQ(work.name(), "Work ") << "calendar names are not trimmed";
  EXPECT_EQ(work.sourceName(), "iCloud");
  EXPECT_EQ(work.color(), "#0000FF");
  const BridgeCalendar& bare = snapshot.calendars()[1];
  EXPECT_EQ(bare.id(), "");
  EXPECT_EQ(bare.name(), "");
  EXPECT_EQ(bare.sourceName(), "");
  EXPECT_EQ(bare.color(), "#6C4CF0");
}

TEST_F(SnapshotReaderTest, EventsKeepTheStoreOrderAndAreNeverMerged) {
  store().events = {event("late", 7200), event("early", 0), event("same", 60), event("same", 60)};
  BridgeSnapshot snapshot = readAuthorizedSnapshot(0, 86400);
  std::vector<std::string_view> ids;
  for (const auto& e : snapshot.events()) ids.push_back(e.id());
  EXPECT_THAT(ids, ElementsAre("late::7200000", "early::0", "same::60000", "same::60000"));
}

// Records share a few large blocks for their texts; whatever is copied or
// moved out of a snapshot must stay readable after the snapshot is gone.
TEST_F(SnapshotReaderTest, RecordTextsOutliveTheSnapshotTheyWereReadInto) {
  for (int i = 0; i < 3000; ++i) {
    fake::Event e = event("item-" + std::to_string(i), i);
    e.title = "Title " + std::to_string(i) + std::string(60, 'x');
    store().events.push_back(e);
  }
  store().events[1500].title = std::string(200'000, 'y');  // larger than a block
  const auto expectTexts = [](const std::vector<BridgeEvent>& events) {
    ASSERT_EQ(events.size(), 3000u);
    for (int i : {0, 1, 1499, 1501, 2999}) {
      EXPECT_EQ(events[i].id(), "item-" + std::to_string(i) + "::" + std::to_string(i * 1000));
      EXPECT_EQ(events[i].title(), "Title " + std::to_string(i) + std::string(60, 'x'));
    }
    EXPECT_EQ(events[1500].title(), std::string(200'000, 'y'));
  };

  auto original = std::make_unique<BridgeSnapshot>(readAuthorizedSnapshot(0, 1e6));
  const BridgeSnapshot copy = *original;
  BridgeSnapshot assigned({}, {});
  assigned = *original;
  const BridgeEvent single = original->events()[2999];
  BridgeSnapshot moved = std::move(*original);
  original.reset();
  expectTexts(copy.events());
  expectTexts(assigned.events());
  expectTexts(moved.events());
  EXPECT_EQ(single.id(), "item-2999::2999000");
  moved = copy;
  expectTexts(moved.events());
}

TEST_F(SnapshotReaderTest, EventIdsCarryTheStartInTruncatedMilliseconds) {
  struct Case {
    double start;
    const char* id;
  };
  const Case cases[] = {
      {-0.5, "r::-500"},
      {0.0009999, "r::0"},
      {0.25, "r::250"},
      {1772442000.0, "r::1772442000000"},
      {1772442000.0 + 86400, "r::1772528400000"},  // the next occurrence of a series
      {-62135596800.0, "r::-62135596800000"},
  };
  for (const auto& c : cases) {
    store().events = {event("r", c.start)};
    EXPECT_EQ(readAuthorizedSnapshot(-1e12, 1e12).events().at(0).id(), c.id) << c.start;
  }
}

TEST_F(SnapshotReaderTest, EventFields) {
  fake::Event e = event("item", 1772442000.0);
  e.calendarId = "cal-7";
  e.isAllDay = true;
  e.end = 1772442000.25;
  e.location = "Room 4";
  store().events = {e};
  BridgeSnapshot snapshot = readAuthorizedSnapshot(0, 2e9);
  const BridgeEvent& record = snapshot.events().at(0);
  EXPECT_EQ(record.calendarId(), "cal-7");
  EXPECT_EQ(record.title(), "Title");
  EXPECT_EQ(record.startIso(), "2026-03-02T09:00:00.000Z");
  EXPECT_EQ(record.endIso(), "2026-03-02T09:00:00.250Z");
  EXPECT_TRUE(record.isAllDay());
  EXPECT_EQ(record.location(), std::optional<std::string_view>("Room 4"));
}

TEST_F(SnapshotReaderTest, TitlesAndLocationsAreTrimmed) {
  struct Case {
    std::optional<std::string> title;
    std::optional<std::string> location;
    std::string_view expectedTitle;
    std::optional<std::string_view> expectedLocation;
  };
  const Case cases[] = {
      {"  Stand up  \n", " Room 4 ", "Stand up", "Room 4"},
      {"Inner  spaces stay", "   ", "Inner  spaces stay", ""},
      {"   ", std::nullopt, "Untitled event", std::nullopt},
      {std::nullopt, "", "Untitled event", ""},
      {"", "\t\r\n", "Untitled event", ""},
      // No-break space, ideographic space, line and paragraph separators, NEL.
      {"\u00A0\u3000Plan\u2028\u2029\u0085", "\u2003x\u202F", "Plan", "x"},
      // Zero-width space and BOM are not white space.
      {"\u200BPlan\uFEFF", std::nullopt, "\u200BPlan\uFEFF", std::nullopt},
      {"\u65E5\u672C ", std::nullopt, "\u65E5\u672C", std::nullopt},
  };
  for (const auto& c : cases) {
    fake::Event e = event("i", 0);
    e.title = c.title;
    e.location = c.location;
    store().events = {e};
    BridgeSnapshot snapshot = readAuthorizedSnapshot(0, 1);
    const BridgeEvent& record = snapshot.events().at(0);
    EXPECT_EQ(record.title(), c.expectedTitle) << c.title.value_or("<none>");
    EXPECT_EQ(record.location(), c.expectedLocation) << c.location.value_or("<none>");
  }
}

TEST_F(SnapshotReaderTest, MissingIdentifiersAndDatesGetSafeValues) {
  fake::Event e;
  store().events = {e};
  BridgeSnapshot snapshot = readAuthorizedSnapshot(0, 60);
  const BridgeEvent& record = snapshot.events().at(0);
  EXPECT_EQ(record.id(), "::0");
  EXPECT_EQ(record.calendarId(), "");
  EXPECT_EQ(record.startIso(), "1970-01-01T00:00:00.000Z");
  EXPECT_EQ(record.endIso(), "1970-01-01T00:01:00.000Z");
}

TEST(HexColorTest, ChannelsAreClampedAndTruncated) {
  using Components = std::optional<std::vector<double>>;
  struct Case {
    Components components;
    const char* color;
  };
  const Case cases[] = {
      {std::nullopt, "#6C4CF0"},
      {std::vector<double>{}, "#6C4CF0"},
      {std::vector<double>{1.0, 0.5, 0.0, 1.0}, "#FF7F00"},
      {std::vector<double>{0.2, 1.0}, "#333333"},
      {std::vector<double>{0.2}, "#333333"},
      {std::vector<double>{0.0, 0.0, 1.0}, "#0000FF"},
      {std::vector<double>{1.2, -0.1, 0.999}, "#FF00FE"},
      {std::vector<double>{std::nan(""), 1e308, -1e308}, "#00FF00"},
  };
  for (const auto& c : cases) EXPECT_EQ(hexColor(c.components), c.color);
}

}  // namespace
}  // namespace vantrel
