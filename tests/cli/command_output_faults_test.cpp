#include <gtest/gtest.h>

#include <string>

#include "program_run.h"

namespace vantrel::testing {
namespace {

// Big enough to overflow a pipe's buffer many times over.
struct LargeStore {
  std::string document = R"({"status": 3, "calendars": [{"id": "c", "title": "C", "source": "S"}], "events": [)";
  std::string json = R"({"calendars":[{"color":"#6C4CF0","id":"c","name":"C","sourceName":"S"}],"events":[)";
  LargeStore() {
    const std::string title(400, 'x');
    for (int i = 0; i < 3000; ++i) {
      const std::string id = "event-" + std::to_string(i);
      if (i > 0) {
        document += ",";
        json += ",";
      }
      document += R"({"id": ")" + id + R"(", "calendar": "c", "title": ")" + title +
                  R"(", "start": 1773144000, "end": 1773147600})";
      json += R"({"calendarId":"c","endIso":"2026-03-10T13:00:00.000Z","id":")" + id +
              R"(::1773144000000","isAllDay":false,"startIso":"2026-03-10T12:00:00.000Z","title":")" +
              title + R"("})";
    }
    document += "]}";
    json += "]}";
  }
};

const std::vector<std::string> kRange = {"2026-03-01T00:00:00Z", "2026-04-01T00:00:00Z"};

TEST(CommandOutputFaults, StandardOutputThatCannotBeWrittenEndsInStatusOne) {
  const LargeStore large;
  StoreDocument store(large.document);
  for (StandardOutput output : {StandardOutput::closedPipe, StandardOutput::fullDevice}) {
    const ProgramRun run = runCommand(kRange, store.path(), output);
    const int which = static_cast<int>(output);
    EXPECT_TRUE(run.exited) << which << ": ended by signal " << run.status;
    EXPECT_EQ(run.status, 1) << which;
    EXPECT_TRUE(run.err.starts_with("Vantrel could not write the snapshot to standard output"))
        << which << ": " << run.err;
  }
}

TEST(CommandOutputFaults, NonBlockingStandardOutputStillGetsTheWholeText) {
  const LargeStore large;
  StoreDocument store(large.document);
  const ProgramRun run = runCommand(kRange, store.path(), StandardOutput::nonBlockingPipe);
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.size(), large.json.size());
  EXPECT_TRUE(run.out == large.json);
  EXPECT_EQ(run.err, "");
}

}  // namespace
}  // namespace vantrel::testing
