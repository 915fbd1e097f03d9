// The C functions against the fake platform. Every text they hand out goes
// back through tavimo_calendar_string_free; the sanitizer build turns a text
// freed twice or never into a failure.
#include "tavimo_calendar.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>

#include "authorization_labels.h"
#include "bridge_failure.h"
#include "fake_platform.h"

namespace vantrel {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::StartsWith;

constexpr const char* kInvalidArguments = "Vantrel requires a start and end ISO date.";

struct TextFree {
  void operator()(char* text) const { tavimo_calendar_string_free(text); }
};
using Text = std::unique_ptr<char, TextFree>;

// The result and the failure text of one snapshot call, both owned.
struct SnapshotCall {
  Text json;
  Text failure;
};

// A slot value no call may leave behind unless it leaves the slot alone.
char untouchedMarker;
char* const kUntouched = &untouchedMarker;

// The two reads of a range, which share their dates, permission and failures.
using ReadRange = decltype(&tavimo_calendar_snapshot);
constexpr ReadRange kReads[] = {tavimo_calendar_snapshot, tavimo_calendar_details};

SnapshotCall callSnapshot(const char* start, const char* end,
                          ReadRange read = tavimo_calendar_snapshot) {
  char* failure = kUntouched;
  Text json(read(start, end, &failure));
  if (failure == kUntouched) return {std::move(json), nullptr};
  return {std::move(json), Text(failure)};
}

class ExportedFunctionsTest : public ::testing::Test {
 protected:
  void SetUp() override { fake::reset(); }
  fake::Platform& fake() { return fake::platform(); }
};

TEST_F(ExportedFunctionsTest, SnapshotRejectsBadDatesWithoutTouchingTheStore) {
  struct Case {
    const char* start;
    const char* end;
  } cases[] = {
      {nullptr, "2026-03-02T10:00:00Z"},
      {"2026-03-02T09:00:00Z", nullptr},
      {nullptr, nullptr},
      {"", "2026-03-02T10:00:00Z"},
      {"2026-03-02", "2026-03-03"},
      {"2026-03-02T09:00:00Z", "2026-03-02T10:00:00"},
      {"2026-03-02T09:00:00\xff", "2026-03-02T10:00:00Z"},
      {"2026-03-02T09:00:00Z", "2026-03-02T09:00:00.000Z"},  // equal
      {"2026-03-02T10:00:00+01:00", "2026-03-02T09:00:00Z"},  // equal, other zone
      {"2026-03-02T10:00:00Z", "2026-03-02T09:00:00Z"},       // reversed
  };
  for (const Case& c : cases) for (ReadRange read : kReads) {
    fake::reset();
    SnapshotCall call = callSnapshot(c.start, c.end, read);
    SCOPED_TRACE(std::string(c.start ? c.start : "NULL") + " / " + (c.end ? c.end : "NULL"));
    EXPECT_EQ(call.json, nullptr);
    ASSERT_NE(call.failure, nullptr);
    EXPECT_STREQ(call.failure.get(), kInvalidArguments);
    EXPECT_THAT(fake().callLog(), IsEmpty());
  }
}

TEST_F(ExportedFunctionsTest, SnapshotWithoutASlotFailsQuietly) {
  EXPECT_EQ(tavimo_calendar_snapshot(nullptr, nullptr, nullptr), nullptr);
  fake().status = 2;
  EXPECT_EQ(tavimo_calendar_snapshot("2026-03-02T09:00:00Z", "2026-03-03T09:00:00Z", nullptr),
            nullptr);
}

TEST_F(ExportedFunctionsTest, SnapshotWithoutFullAccessGivesTheDenialMessageAndAsksNothing) {
  for (std::int64_t status : {0, 1, 2, 4, 7}) for (ReadRange read : kReads) {
    fake::reset();
    fake().status = status;
    SnapshotCall call = callSnapshot("2026-03-02T09:00:00Z", "2026-03-03T09:00:00Z", read);
    EXPECT_EQ(call.json, nullptr);
    ASSERT_NE(call.failure, nullptr);
    const std::string label = labelForStatus(AuthorizationStatus{status});
    EXPECT_EQ(call.failure.get(), calendarAccessDeniedMessage(label));
    EXPECT_THAT(call.failure.get(), StartsWith("Calendar access was not granted (" + label + ")"));
    EXPECT_EQ(fake().storesCreated, 0);
    EXPECT_EQ(fake().count("requestFullAccess"), 0);
    EXPECT_EQ(fake().count("activateApplication"), 0);
  }
}

TEST_F(ExportedFunctionsTest, SnapshotUnderTheDevelopmentHostGivesItsMessage) {
  fake().status = 0;
  fake().bundleId = "com.github.Electron";
  SnapshotCall call = callSnapshot("2026-03-02T09:00:00Z", "2026-03-03T09:00:00Z");
  ASSERT_NE(call.failure, nullptr);
  EXPECT_THAT(call.failure.get(),
              StartsWith("Calendar access was not granted (not-determined). This window is "
                         "the development Electron app"));
}

TEST_F(ExportedFunctionsTest, SnapshotHandsOutTheJsonAndLeavesTheSlotAlone) {
  fake().calendars = std::vector<fake::Calendar>{{"cal", "Work", "Local", {{0.0, 0.5, 1.0}}}};
  fake::Event event;
  event.itemId = "ev";
  event.calendarId = "cal";
  event.title = " Planning ";
  event.start = 1772442000.0;
  event.end = 1772445600.0;
  fake().events = {event};

  SnapshotCall call = callSnapshot("2026-03-02T10:00:00+01:00", "2026-03-02T11:00:00.500Z");
  EXPECT_EQ(call.failure, nullptr) << "the slot was written on success";
  ASSERT_NE(call.json, nullptr);
  EXPECT_STREQ(call.json.get(),
               R"({"calendars":[{"color":"#007FFF","id":"cal","name":"Work","sourceName":"Local"}],)"
               R"("events":[{"calendarId":"cal","endIso":"2026-03-02T10:00:00.000Z",)"
               R"("id":"ev::1772442000000","isAllDay":false,"startIso":"2026-03-02T09:00:00.000Z",)"
               R"("title":"Planning"}]})");
  EXPECT_EQ(fake().queryStart, 1772442000.0);
  EXPECT_EQ(fake().queryEnd, 1772449200.5);
  EXPECT_EQ(fake().count("readEventDetails"), 0) << "the snapshot paid for the details";
  EXPECT_EQ(fake().count("requestFullAccess"), 0);
  EXPECT_EQ(fake().storesAlive, 0);
}

TEST_F(ExportedFunctionsTest, SnapshotPassesOtherFailuresOnAsTheirText) {
  fake().statusFunction = []() -> std::int64_t { throw PlatformError("the store is gone"); };
  SnapshotCall call = callSnapshot("2026-03-02T09:00:00Z", "2026-03-03T09:00:00Z");
  EXPECT_EQ(call.json, nullptr);
  ASSERT_NE(call.failure, nullptr);
  EXPECT_STREQ(call.failure.get(), "the store is gone");
}

TEST_F(ExportedFunctionsTest, SnapshotOutOfMemoryGivesNullAndStoresNull) {
  fake().statusFunction = []() -> std::int64_t { throw std::bad_alloc(); };
  char* failure = kUntouched;
  EXPECT_EQ(tavimo_calendar_snapshot("2026-03-02T09:00:00Z", "2026-03-03T09:00:00Z", &failure),
            nullptr);
  EXPECT_EQ(failure, nullptr);
}

TEST_F(ExportedFunctionsTest, DiagnosticsReportTheProcess) {
  fake().bundleId = "com.tavimo.app";
  fake().executablePath = "/Applications/Tavimo.app/Contents/MacOS/Tavimo";
  Text json(tavimo_calendar_diagnostics());
  ASSERT_NE(json, nullptr);
  EXPECT_STREQ(json.get(),
               R"({"bundleId":"com.tavimo.app","canRead":true,)"
               R"("executablePath":"\/Applications\/Tavimo.app\/Contents\/MacOS\/Tavimo",)"
               R"("status":"full-access"})");
}

TEST_F(ExportedFunctionsTest, DiagnosticsFallBackForEachAbsentValue) {
  struct Case {
    std::optional<std::string> bundleId;
    std::optional<std::string> executablePath;
    std::vector<std::string> arguments;
    const char* expected;
  } cases[] = {
      {std::nullopt, "/bin/host", {"/bin/arg0"},
       R"({"bundleId":"unknown","canRead":true,"executablePath":"\/bin\/host","status":"full-access"})"},
      {"id", std::nullopt, {"/bin/arg0", "x"},
       R"({"bundleId":"id","canRead":true,"executablePath":"\/bin\/arg0","status":"full-access"})"},
      {"id", std::nullopt, {},
       R"({"bundleId":"id","canRead":true,"executablePath":"unknown","status":"full-access"})"},
  };
  for (const Case& c : cases) {
    fake::reset();
    fake().bundleId = c.bundleId;
    fake().executablePath = c.executablePath;
    fake().arguments = c.arguments;
    Text json(tavimo_calendar_diagnostics());
    ASSERT_NE(json, nullptr);
    EXPECT_STREQ(json.get(), c.expected);
  }
}

TEST_F(ExportedFunctionsTest, DiagnosticsQueryTheStatusTwice) {
  int queries = 0;
  fake().statusFunction = [&queries]() -> std::int64_t { return ++queries == 1 ? 3 : 2; };
  Text json(tavimo_calendar_diagnostics());
  ASSERT_NE(json, nullptr);
  EXPECT_THAT(json.get(), ::testing::HasSubstr(R"("canRead":false)"));
  EXPECT_THAT(json.get(), ::testing::HasSubstr(R"("status":"full-access")"));
  EXPECT_EQ(queries, 2);
}

TEST_F(ExportedFunctionsTest, DiagnosticsThatCannotBeEncodedGiveTheFallbackText) {
  constexpr const char* kFallback =
      R"({"status":"unknown","canRead":false,"bundleId":"unknown","executablePath":"unknown"})";
  fake().bundleId = std::string("bad\xc3", 4);  // not UTF-8
  Text json(tavimo_calendar_diagnostics());
  ASSERT_NE(json, nullptr);
  EXPECT_STREQ(json.get(), kFallback);

  fake::reset();
  fake().statusFunction = []() -> std::int64_t { throw PlatformError("gone"); };
  Text failed(tavimo_calendar_diagnostics());
  ASSERT_NE(failed, nullptr);
  EXPECT_STREQ(failed.get(), kFallback);
}

TEST_F(ExportedFunctionsTest, StringFreeIgnoresNull) { tavimo_calendar_string_free(nullptr); }

}  // namespace
}  // namespace vantrel
