#include <gtest/gtest.h>

#include <string>

#include "program_run.h"

namespace vantrel::testing {
namespace {

TEST(CommandSnapshotOutput, JsonOnStandardOutputByteForByte) {
  StoreDocument store(R"({
    "status": 3,
    "bundleIdentifier": "com.tavimo.app",
    "calendars": [
      {"id": "cal-1", "title": "Work / Home", "source": "iCloud", "color": [1.0, 0.5, 0.0, 1.0]},
      {"id": "cal-2", "title": "家族", "source": "On My Mac"}
    ],
    "events": [
      {"id": "ev-2", "calendar": "cal-2", "title": "  \"Quoted\" \\ back\n", "location": "   ",
       "start": "2026-03-03T10:00:00+01:00", "end": "2026-03-03T10:00:00.250Z"},
      {"id": "ev-1", "calendar": "cal-1", "start": "2026-03-02T23:00:00Z",
       "end": "2026-03-03T23:00:00Z", "allDay": true},
      {"id": "ev-out", "calendar": "cal-1", "title": "Outside",
       "start": "2026-04-02T09:00:00Z", "end": "2026-04-02T10:00:00Z"},
      {"id": "ev-3", "calendar": "cal-1", "title": "Late", "location": " Room 4 ",
       "start": "2026-03-31T23:30:00Z", "end": "2026-04-01T00:30:00Z"}
    ]
  })");
  const std::string expected =
      R"({"calendars":[)"
      R"({"color":"#FF7F00","id":"cal-1","name":"Work \/ Home","sourceName":"iCloud"},)"
      R"({"color":"#6C4CF0","id":"cal-2","name":"家族","sourceName":"On My Mac"}],)"
      R"("events":[)"
      R"({"calendarId":"cal-2","endIso":"2026-03-03T10:00:00.250Z","id":"ev-2::1772528400000",)"
      R"("isAllDay":false,"location":"","startIso":"2026-03-03T09:00:00.000Z",)"
      R"("title":"\"Quoted\" \\ back"},)"
      R"({"calendarId":"cal-1","endIso":"2026-03-03T23:00:00.000Z","id":"ev-1::1772492400000",)"
      R"("isAllDay":true,"startIso":"2026-03-02T23:00:00.000Z","title":"Untitled event"},)"
      R"({"calendarId":"cal-1","endIso":"2026-04-01T00:30:00.000Z","id":"ev-3::1774999800000",)"
      R"("isAllDay":false,"location":"Room 4","startIso":"2026-03-31T23:30:00.000Z","title":"Late"}]})";

  const ProgramRun run =
      runCommand({"2026-03-01T01:00:00+01:00", "2026-04-01T00:00:00.000Z"}, store.path());

  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, expected);
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace vantrel::testing
