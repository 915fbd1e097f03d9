// A dozen years through the exported snapshot over the stand-in, which, like
// EventKit, answers at most four years per query: every year must come back,
// and an event across a window boundary once; the details name the same
// events in the same order.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "standin_test_document.h"
#include "tavimo_calendar.h"

namespace vantrel {
namespace {

TEST(StandinLongRange, ADozenYearsAreReadWhole) {
  std::string events;
  std::vector<std::string> expected;
  for (int year = 2014; year < 2026; ++year) {
    const std::string y = std::to_string(year);
    events += R"({"id":"y)" + y + R"(","calendar":"a","start":")" + y +
              R"(-06-01T09:00:00Z","end":")" + y + R"(-06-01T10:00:00Z"},)";
    expected.push_back("y" + y + "::");
  }
  // The first window of 2014-01-01 ends 1,460 days later, on 2017-12-31.
  events += R"({"id":"across","calendar":"a","start":"2017-12-20T00:00:00Z","end":"2018-01-10T00:00:00Z"})";
  expected.insert(expected.begin() + 4, "across::");
  const standin_test::TestDocument document(R"({"calendars":[{"id":"a"}],"events":[)" + events + "]}");

  decltype(&tavimo_calendar_snapshot) reads[] = {tavimo_calendar_snapshot, tavimo_calendar_details};
  std::vector<std::string> ids[2];
  for (int i = 0; i < 2; ++i) {
    char* failure = nullptr;
    char* text = reads[i]("2014-01-01T00:00:00Z", "2026-01-01T00:00:00Z", &failure);
    ASSERT_NE(text, nullptr) << (failure ? failure : "");
    const nlohmann::json document = nlohmann::json::parse(text);
    for (const auto& event : document["events"]) ids[i].push_back(event["id"]);
    tavimo_calendar_string_free(text);
  }
  std::vector<std::string> prefixes;
  for (const std::string& id : ids[0]) prefixes.push_back(id.substr(0, id.find("::") + 2));
  EXPECT_EQ(prefixes, expected);
  EXPECT_EQ(ids[1], ids[0]);
}

}  // namespace
}  // namespace vantrel
