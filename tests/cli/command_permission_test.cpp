#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "program_run.h"

namespace vantrel::testing {
namespace {

std::string packagedDenial(const std::string& label) {
  return "Calendar access was not granted (" + label +
         "). In System Settings \u2192 Privacy & Security \u2192 Calendars, turn Tavimo on "
         "and enable Full Access, then try Connect again.";
}

std::string developmentDenial(const std::string& label) {
  return "Calendar access was not granted (" + label +
         "). This window is the development Electron app, not the packaged Tavimo app. "
         "Permission for Tavimo.app does not apply here. Open Tavimo from Applications, or "
         "enable Full Access on the Electron row in System Settings \u2192 Privacy & "
         "Security \u2192 Calendars.";
}

const std::string kNotDetermined =
    "Calendar access was not granted (not-determined). Approve the macOS Calendar dialog for "
    "the Tavimo window that is running, or enable Full Access on that same copy in System "
    "Settings \u2192 Privacy & Security \u2192 Calendars. Extra Tavimo rows are leftover copies "
    "and do not grant this one.";

const std::string kCalendars =
    R"("calendars": [{"id": "c", "title": "C", "source": "S"}])";
const std::string kSnapshot =
    R"({"calendars":[{"color":"#6C4CF0","id":"c","name":"C","sourceName":"S"}],"events":[]})";

struct Case {
  const char* name;
  std::string document;  // the keys besides the calendars
  int status;
  std::string out;
  std::string err;
};

// A request that is made is answered with a grant that would make the read
// succeed, so a failure shows that none was made.
const std::string kGrantOnRequest = R"("request": {"granted": true, "delayMs": 100})";

TEST(CommandPermission, StatusAndAnswerDecideTheRun) {
  const Case cases[] = {
      {"full access", R"("status": 3)", 0, kSnapshot, ""},
      {"restricted, refused at once", R"("status": 1, )" + kGrantOnRequest, 1, "",
       packagedDenial("restricted")},
      {"denied, refused at once", R"("status": 2, )" + kGrantOnRequest, 1, "",
       packagedDenial("denied")},
      {"granted on another thread after a delay",
       R"("status": 0, "request": {"granted": true, "delayMs": 300, "thread": "other"})", 0,
       kSnapshot, ""},
      {"granted inside the request call",
       R"("status": 0, "request": {"granted": true, "thread": "caller"})", 0, kSnapshot, ""},
      {"refused", R"("status": 0, "request": {"granted": false, "delayMs": 100})", 1, "",
       packagedDenial("denied")},
      {"answer with an error",
       R"j("status": 0, "request": {"granted": true, "error": "The operation couldn’t be completed. (EKErrorDomain error 1.)"})j",
       1, "", "The operation couldn\u2019t be completed. (EKErrorDomain error 1.)"},
      {"answer with an error holding a NUL",
       R"("status": 0, "request": {"granted": false, "error": "boom \u0000 x"})", 1, "",
       "boom \uFFFD x"},
      {"answer with an empty error", R"("status": 0, "request": {"granted": false, "error": ""})",
       1, "", packagedDenial("denied")},
      {"granted, the status shows it late",
       R"("status": 0, "request": {"granted": true, "delayMs": 50, "statusLagMs": 300})", 0,
       kSnapshot, ""},
      {"granted while the status stays 0",
       R"("status": 0, "request": {"granted": true, "statusAfter": 0})", 1, "", kNotDetermined},
      {"add-events-only makes a request", R"("status": 4, )" + kGrantOnRequest, 0, kSnapshot, ""},
      {"add-events-only refused",
       R"("status": 4, "request": {"granted": false, "statusAfter": 4})", 1, "",
       packagedDenial("add-events-only")},
      {"unknown status makes a request", R"("status": 7, )" + kGrantOnRequest, 0, kSnapshot, ""},
      {"unknown status refused", R"("status": -2, "request": {"granted": false, "statusAfter": 9})",
       1, "", packagedDenial("unknown-9")},
  };
  for (const Case& c : cases) {
    StoreDocument store("{" + c.document + ", " + kCalendars + "}");
    const ProgramRun run = runCommand({"2026-03-01T00:00:00Z", "2026-04-01T00:00:00Z"}, store.path());
    EXPECT_TRUE(run.exited) << c.name;
    EXPECT_EQ(run.status, c.status) << c.name;
    EXPECT_EQ(run.out, c.out) << c.name;
    EXPECT_EQ(run.err, c.err) << c.name;
  }
}

TEST(CommandPermission, DevelopmentIdentityMessagesOnlyForTheExactTwoNames) {
  struct IdentityCase {
    std::optional<std::string> bundleId;
    bool development;
  };
  const IdentityCase cases[] = {
      {"com.github.Electron", true}, {"Electron", true},
      {"electron", false},           {"com.github.electron", false},
      {"com.github.Electron.helper", false}, {"Electron ", false},
      {"com.tavimo.app", false},     {std::nullopt, false},
  };
  for (const auto& [bundleId, development] : cases) {
    const std::string identity =
        bundleId ? "\"bundleIdentifier\": \"" + *bundleId + "\"" : "\"bundleIdentifier\": null";
    const std::string which = bundleId.value_or("(none)");
    {
      StoreDocument store("{\"status\": 2, " + identity + "}");
      const ProgramRun run = runCommand({"2026-03-01T00:00:00Z", "2026-04-01T00:00:00Z"}, store.path());
      EXPECT_EQ(run.status, 1) << which;
      EXPECT_EQ(run.err, development ? developmentDenial("denied") : packagedDenial("denied"))
          << which;
    }
    {
      StoreDocument store("{\"status\": 0, " + identity +
                          R"(, "request": {"granted": true, "statusAfter": 0}})");
      const ProgramRun run = runCommand({"2026-03-01T00:00:00Z", "2026-04-01T00:00:00Z"}, store.path());
      EXPECT_EQ(run.status, 1) << which;
      EXPECT_EQ(run.err, development ? developmentDenial("not-determined") : kNotDetermined)
          << which;
    }
  }
}

}  // namespace
}  // namespace vantrel::testing
