// Reads of some calendars only: the document lists those calendars and their
// events, and the store is asked with those calendars alone.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "fake_platform.h"
#include "tavimo_calendar.h"
#include "vantrel_host.h"

namespace vantrel {
namespace {

struct FilterCase {
  const char* ids;        // the JSON text handed in; nullptr: every calendar
  const char* calendars;  // the document's calendars, then the events' item ids
  const char* events;
  const char* queried;    // the one query's calendars; "-": no query
  int stores;
  const char* failure = nullptr;
};

const FilterCase kCases[] = {
    {nullptr, "a b c", "a1 b1 c1", "a b c", 1},
    {R"(["b"])", "b", "b1", "b", 1},
    {" [ \"c\" ,\n\"a\",\"a\" ] ", "a c", "a1 c1", "a c", 1},
    {R"(["zz","\u0062"])", "b", "b1", "b", 1},
    {R"(["zz"])", "", "", "-", 1},
    {"[]", "", "", "-", 0},
    {R"("b")", "", "", "-", 0, "Vantrel requires the calendar ids as a JSON array of strings."},
    {R"(["b",])", "", "", "-", 0, "Vantrel requires the calendar ids as a JSON array of strings."},
    {R"(["\ud800"] )", "", "", "-", 0, "Vantrel requires the calendar ids as a JSON array of strings."},
    {R"(["b"]x)", "", "", "-", 0, "Vantrel requires the calendar ids as a JSON array of strings."},
};

std::string words(const nlohmann::json& list, const char* key, bool itemOnly) {
  std::string joined;
  for (const auto& entry : list) {
    std::string word = entry[key];
    if (itemOnly) word = word.substr(0, word.find("::"));
    joined += (joined.empty() ? "" : " ") + word;
  }
  return joined;
}

TEST(CalendarFilter, OnlyTheNamedCalendarsAreListedAndQueried) {
  using Read = decltype(&tavimo_calendar_snapshot_of_calendars);
  for (const Read read : {tavimo_calendar_snapshot_of_calendars,
                          tavimo_calendar_details_of_calendars, vantrel_range_watch_read}) {
    for (const FilterCase& c : kCases) {
      fake::reset();
      fake::Platform& store = fake::platform();
      store.calendars = std::vector<fake::Calendar>{{"a", "A", "S", {}}, {"b", "B", "S", {}},
                                                    {"c", "C", "S", {}}};
      store.events = {{"a1", "a", "A", {}, 10, 20, false}, {"b1", "b", "B", {}, 10, 20, false},
                      {"c1", "c", "C", {}, 10, 20, false}};
      store.occurrenceDates[{"b1", 10}] = 5;  // moved from 5 s to 10 s
      store.answerQuery = [&store](double, double) {
        std::vector<fake::Event> asked;
        for (const fake::Event& event : store.events) {
          for (const auto& id : store.queryCalendarIds) {
            if (id == event.calendarId) asked.push_back(event);
          }
        }
        return asked;
      };
      const std::string label = std::string(c.ids ? c.ids : "NULL");
      char* failure = nullptr;
      char* json = read("1970-01-01T00:00:00Z", "1970-01-01T00:01:00Z", c.ids, &failure);
      EXPECT_STREQ(failure, c.failure) << label;
      EXPECT_EQ(json == nullptr, c.failure != nullptr) << label;
      if (json != nullptr) {
        const auto document = nlohmann::json::parse(json);
        if (read != tavimo_calendar_details_of_calendars) {
          EXPECT_EQ(words(document["calendars"], "id", false), c.calendars) << label;
        }
        EXPECT_EQ(words(document["events"], "id", true), c.events) << label;
        if (read == vantrel_range_watch_read) {
          std::string keys, expected;
          for (const auto& key : document["occurrences"]) keys += key.get<std::string>() + " ";
          std::istringstream items(c.events);
          for (std::string item; items >> item;) expected += item + (item == "b1" ? "::5000 " : "::10000 ");
          EXPECT_EQ(keys, expected) << label;
        }
      }
      std::string queried;
      for (const auto& id : store.queryCalendarIds) queried += (queried.empty() ? "" : " ") + *id;
      EXPECT_EQ(store.count("eventsMatching") == 0 ? "-" : queried, c.queried) << label;
      EXPECT_EQ(store.storesCreated, c.stores) << label;
      tavimo_calendar_string_free(json);
      tavimo_calendar_string_free(failure);
    }
  }
}

}  // namespace
}  // namespace vantrel
