#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "program_run.h"

namespace vantrel::testing {
namespace {

const std::string kInvalidArguments = "Vantrel requires a start and end ISO date.";
const std::string kStart = "2026-03-01T00:00:00Z";
const std::string kEnd = "2026-04-01T00:00:00Z";

// The store named here does not exist: any store operation would add the
// stand-in's complaint about it to standard error, or a platform error instead
// of the argument text, so exact standard error proves the store was untouched.
TEST(CommandArguments, EveryRuleGivesTheSameTextWithoutTouchingTheStore) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {kStart},
      {kStart, kEnd, kEnd},
      {kStart, kEnd, ""},
      {"", ""},
      {"2026-03-01", kEnd},
      {kStart, "2026-04-01T00:00:00"},
      {" " + kStart, kEnd},
      {kStart, kEnd + "\n"},
      {"2026-03-01t00:00:00z", kEnd},
      {kStart, kStart},
      {"2026-03-01T01:00:00+01:00", kStart},
      {kEnd, kStart},
      {"2026-03-01T00:00:00.001Z", kStart},
  };
  const std::string missing = ::testing::TempDir() + "vantrel-no-such-store.json";
  for (const auto& arguments : cases) {
    const ProgramRun run = runCommand(arguments, missing);
    const std::string which = ::testing::PrintToString(arguments);
    EXPECT_TRUE(run.exited) << which;
    EXPECT_EQ(run.status, 1) << which;
    EXPECT_EQ(run.out, "") << which;
    EXPECT_EQ(run.err, kInvalidArguments) << which;
  }
}

TEST(CommandArguments, BothAcceptedFormsAndOffsetsReachTheStore) {
  StoreDocument store(R"({"status": 3})");
  const std::vector<std::vector<std::string>> cases = {
      {kStart, kEnd},
      {"2026-03-01T00:00:00.000Z", "2026-03-01T00:00:00.001Z"},
      {"2026-03-01T01:00:00+01:00", "2026-03-01T00:00:01Z"},
  };
  for (const auto& arguments : cases) {
    const ProgramRun run = runCommand(arguments, store.path());
    EXPECT_EQ(run.status, 0) << ::testing::PrintToString(arguments) << run.err;
    EXPECT_EQ(run.out, R"({"calendars":[],"events":[]})");
    EXPECT_EQ(run.err, "");
  }
}

}  // namespace
}  // namespace vantrel::testing
