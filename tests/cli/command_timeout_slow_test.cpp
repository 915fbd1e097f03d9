// The one run that really waits out the 30-second limit; labelled slow.
#include <gtest/gtest.h>

#include "program_run.h"

namespace vantrel::testing {
namespace {

TEST(CommandTimeout, NoAnswerWithinThirtySecondsEndsInTheTimeOutText) {
  StoreDocument store(R"({"status": 0, "request": null})");
  const ProgramRun run =
      runCommand({"2026-03-01T00:00:00Z", "2026-04-01T00:00:00Z"}, store.path());
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "macOS did not finish the Calendar permission request.");
}

}  // namespace
}  // namespace vantrel::testing
