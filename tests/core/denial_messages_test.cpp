#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <unordered_set>

#include "access_gate.h"
#include "authorization_labels.h"
#include "bridge_failure.h"
#include "fake_platform.h"
#include "tavimo_calendar.h"

namespace vantrel {
namespace {

const std::string kPackagedTail =
    "). In System Settings \u2192 Privacy & Security \u2192 Calendars, turn Tavimo on and "
    "enable Full Access, then try Connect again.";
const std::string kNotDetermined =
    "Calendar access was not granted (not-determined). Approve the macOS Calendar dialog for "
    "the Tavimo window that is running, or enable Full Access on that same copy in System "
    "Settings \u2192 Privacy & Security \u2192 Calendars. Extra Tavimo rows are leftover "
    "copies and do not grant this one.";
const std::string kDevelopmentTail =
    "). This window is the development Electron app, not the packaged Tavimo app. Permission "
    "for Tavimo.app does not apply here. Open Tavimo from Applications, or enable Full Access "
    "on the Electron row in System Settings \u2192 Privacy & Security \u2192 Calendars.";

std::string failureOf(const std::function<void()>& operation) {
  try {
    operation();
  } catch (...) {
    return failureText(std::current_exception());
  }
  return "<none>";
}

class DenialMessageTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
};

TEST_F(DenialMessageTest, LabelsForEveryStatus) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "not-determined"}, {1, "restricted"},  {2, "denied"},
      {3, "full-access"},    {4, "add-events-only"}, {7, "unknown-7"},
      {-3, "unknown--3"},    {INT64_MIN, "unknown--9223372036854775808"},
  };
  for (auto [status, label] : cases) {
    fake::platform().status = status;
    EXPECT_EQ(authorizationLabel(), label);
    EXPECT_EQ(canReadEvents(), status == 3);
  }
}

TEST_F(DenialMessageTest, PackagedAppMessages) {
  for (const auto& bundle : std::vector<std::optional<std::string>>{
           std::nullopt, "com.tavimo.app", "electron", "com.github.Electron.helper", "Electron "}) {
    fake::platform().bundleId = bundle;
    EXPECT_EQ(calendarAccessDeniedMessage("denied"),
              "Calendar access was not granted (denied" + kPackagedTail);
    EXPECT_EQ(calendarAccessDeniedMessage("unknown-7"),
              "Calendar access was not granted (unknown-7" + kPackagedTail);
    EXPECT_EQ(calendarAccessDeniedMessage("not-determined"), kNotDetermined);
  }
}

TEST_F(DenialMessageTest, DevelopmentElectronMessagesForEveryLabel) {
  for (const char* bundle : {"com.github.Electron", "Electron"}) {
    fake::platform().bundleId = bundle;
    for (const char* label : {"not-determined", "restricted", "denied", "add-events-only"}) {
      EXPECT_EQ(calendarAccessDeniedMessage(label),
                std::string("Calendar access was not granted (") + label + kDevelopmentTail);
    }
  }
}

TEST_F(DenialMessageTest, IdentityIsWholeTextAndCaseSensitive) {
  EXPECT_TRUE(isDevelopmentElectronIdentity("com.github.Electron"));
  EXPECT_TRUE(isDevelopmentElectronIdentity("Electron"));
  for (const char* near : {"electron", "ELECTRON", "com.github.electron", "com.github.Electron2",
                           "xElectron", "Electron\n", ""}) {
    EXPECT_FALSE(isDevelopmentElectronIdentity(near)) << near;
  }
  EXPECT_FALSE(isDevelopmentElectronIdentity(std::string_view("Electron\0x", 10)));
}

TEST_F(DenialMessageTest, BundleIdentity) {
  EXPECT_EQ(currentBundleId(), "unknown");
  fake::platform().bundleId = "com.tavimo.app";
  EXPECT_EQ(currentBundleId(), "com.tavimo.app");
}

TEST_F(DenialMessageTest, FailureTextsAreComputedWhenRead) {
  EXPECT_EQ(description(BridgeFailure::invalidArguments),
            "Vantrel requires a start and end ISO date.");
  EXPECT_EQ(description(BridgeFailure::accessTimedOut),
            "macOS did not finish the Calendar permission request.");
  auto denied = std::make_exception_ptr(BridgeFailure::accessDenied);
  fake::platform().status = 2;
  std::string whileDenied = failureText(denied);
  fake::platform().status = 1;
  EXPECT_EQ(whileDenied, "Calendar access was not granted (denied" + kPackagedTail);
  EXPECT_EQ(failureText(denied), "Calendar access was not granted (restricted" + kPackagedTail);
  EXPECT_EQ(failureText(std::make_exception_ptr(PlatformError("The store is gone."))),
            "The store is gone.");
  EXPECT_EQ(failureText(std::make_exception_ptr(PlatformError(""))), "Unknown error.");

  std::unordered_set<BridgeFailure> cases = {BridgeFailure::accessDenied,
                                             BridgeFailure::accessDenied};
  EXPECT_EQ(cases.size(), 1u);
}

// The status moves on (an access answer arriving) between the refusal and the
// making of its text: the text keeps the label access was refused under.
TEST_F(DenialMessageTest, DenialNamesTheStatusOfTheRefusal) {
  const auto text = [](std::uint8_t, const char* message, void* context) {
    *static_cast<std::string*>(context) = message != nullptr ? message : "<none>";
  };
  const struct {
    const char* name;
    std::vector<std::int64_t> statuses;  // answered in turn, then 3 for good
    std::function<std::string()> refusal;
    const char* label;
  } cases[] = {
      {"exported snapshot", {2},
       [] {
         char* failure = nullptr;
         EXPECT_EQ(tavimo_calendar_snapshot("2026-03-01T00:00:00Z", "2026-03-02T00:00:00Z",
                                            &failure),
                   nullptr);
         const std::unique_ptr<char, decltype(&tavimo_calendar_string_free)> owned(
             failure, &tavimo_calendar_string_free);
         return std::string(failure != nullptr ? failure : "<none>");
       },
       "denied"},
      {"exported request, known status", {0, 1},
       [text] {
         std::string message;
         tavimo_calendar_request_access(text, &message);
         return message;
       },
       "restricted"},
      {"exported request, answered later", {0, 0, 2},
       [text] {
         std::string message;
         fake::platform().onRequest = [](fake::PendingRequest request) {
           request.completion(false, std::nullopt);
         };
         tavimo_calendar_request_access(text, &message);
         return message;
       },
       "denied"},
      {"gate, known status", {0, 2}, [] { return failureOf([] { snapshot(0, 1); }); }, "denied"},
      {"gate, answered", {0, 0, 4},
       [] {
         fake::platform().onRequest = [](fake::PendingRequest request) {
           request.completion(false, std::nullopt);
         };
         return failureOf([] { snapshot(0, 1); });
       },
       "add-events-only"},
  };
  for (const auto& c : cases) {
    fake::reset();
    fake::platform().statusFunction = [statuses = c.statuses, next = std::size_t{0}]() mutable {
      return next < statuses.size() ? statuses[next++] : std::int64_t{3};
    };
    EXPECT_EQ(c.refusal(), calendarAccessDeniedMessage(c.label)) << c.name;
    fake::platform().pending.clear();
  }
}

}  // namespace
}  // namespace vantrel
