#include "iso_date.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <string_view>

namespace vantrel {
namespace {

using namespace std::string_view_literals;

constexpr std::int64_t kMarch2At9 = 1'772'442'000'000;  // 2026-03-02T09:00:00Z in ms
constexpr std::int64_t kYearZero = -62'167'219'200'000;
constexpr std::int64_t kLastMs = 253'402'300'799'999;

std::int64_t milliseconds(Instant instant) { return std::llround(instant * 1000.0); }

TEST(IsoDateParse, TheTwoFormsAreTriedInOrder) {
  const auto& formatter = isoFormatter();
  EXPECT_TRUE(formatter.dateFromString("2026-03-02T09:00:00.000Z"));
  EXPECT_FALSE(formatter.dateFromString("2026-03-02T09:00:00Z"));
  EXPECT_TRUE(IsoFormatter::dateFromStringWithoutFraction("2026-03-02T09:00:00Z"));
  EXPECT_FALSE(IsoFormatter::dateFromStringWithoutFraction("2026-03-02T09:00:00.000Z"));
  EXPECT_EQ(parseIso("2026-03-02T09:00:00.000Z"), parseIso("2026-03-02T09:00:00Z"));
}

TEST(IsoDateParse, AcceptedTextsNameTheirInstant) {
  const struct {
    std::string_view text;
    std::int64_t ms;
  } cases[] = {
      {"2026-03-02T09:00:00Z", kMarch2At9},
      {"2026-03-02T09:00:00.000Z", kMarch2At9},
      {"2026-03-02T10:00:00+01:00", kMarch2At9},
      {"2026-03-02T10:00:00.000+01:00", kMarch2At9},
      {"2026-03-02T04:30:00-04:30", kMarch2At9},
      {"2026-03-03T08:59:00+23:59", kMarch2At9},
      {"2026-03-02T09:00:00-00:00", kMarch2At9},
      {"2026-03-02T09:00:00.5Z", kMarch2At9 + 500},
      {"2026-03-02T09:00:00.25Z", kMarch2At9 + 250},
      {"2026-03-02T09:00:00.0009999999999Z", kMarch2At9 + 1},
      {"1969-12-31T23:59:59.500Z", -500},
      {"2000-02-29T12:00:00Z", 951'825'600'000},
      {"2024-02-29T00:00:00Z", 1'709'164'800'000},
      {"0000-01-01T00:00:00Z", kYearZero},
      {"0000-01-01T00:30:00-01:00", kYearZero + 5'400'000},
      {"9999-12-31T23:59:59.999Z", kLastMs},
      {"9999-12-31T23:59:59.9990Z", kLastMs},
      {"9999-12-31T23:30:00+01:00", kLastMs - 5'399'999},
  };
  for (const auto& c : cases) {
    const auto instant = parseIso(c.text);
    ASSERT_TRUE(instant) << c.text;
    EXPECT_EQ(milliseconds(*instant), c.ms) << c.text;
  }
}

TEST(IsoDateParse, KeepsFractionsFinerThanAMillisecond) {
  const auto instant = parseIso("2026-03-02T09:00:00.123456Z");
  ASSERT_TRUE(instant);
  EXPECT_NEAR(*instant - static_cast<double>(kMarch2At9 / 1000), 0.123456, 1e-6);
}

TEST(IsoDateParse, RejectsEverythingElse) {
  const std::string_view texts[] = {
      "", "2026-03-02", "2026-03-02T09:00:00", "2026-03-02T09:00:00.000", "2026-03-02T09:00Z",
      // Lower case, spaces, trailing or embedded bytes.
      "2026-03-02t09:00:00Z", "2026-03-02T09:00:00z", " 2026-03-02T09:00:00Z",
      "2026-03-02T09:00:00Z ", "2026-03-02 09:00:00Z", "2026-03-02T09:00:00ZZ",
      "2026-03-02T09:00:00\0Z"sv, "2026-03-02T09:00:00Z\0"sv, "2026-03-02T09:00:00.0\0Z"sv,
      // Fraction and offset shapes.
      "2026-03-02T09:00:00.Z", "2026-03-02T09:00:00,000Z", "2026-03-02T09:00:00.000+0100",
      "2026-03-02T09:00:00+01", "2026-03-02T09:00:00+1:00", "2026-03-02T09:00:00+01:00Z",
      "2026-03-02T09:00:00.000+01:00:00",
      // Field widths and signs.
      "+2026-03-02T09:00:00Z", "20260-03-02T09:00:00Z", "2026-3-02T09:00:00Z",
      "2026-03-2T09:00:00Z", "2026-03-02T9:00:00Z", "-001-03-02T09:00:00Z",
      // Out-of-range fields.
      "2026-00-02T09:00:00Z", "2026-13-02T09:00:00Z", "2026-03-00T09:00:00Z",
      "2026-03-32T09:00:00Z", "2026-04-31T09:00:00Z", "2026-02-29T09:00:00Z",
      "1900-02-29T09:00:00Z", "2026-03-02T24:00:00Z", "2026-03-02T09:60:00Z",
      "2026-03-02T09:00:60Z", "2016-12-31T23:59:60Z", "2026-03-02T09:00:00+24:00",
      "2026-03-02T09:00:00-01:60",
      // Instants outside the writable years.
      "0000-01-01T00:30:00+01:00", "0000-01-01T00:00:00.000+00:01",
      "9999-12-31T23:59:59.9995Z", "9999-12-31T23:30:00-01:00",
  };
  for (const auto text : texts) {
    EXPECT_FALSE(parseIso(text)) << '"' << std::string(text) << '"';
  }
}

TEST(IsoDateWrite, WritesUtcMillisecondsWithFloorBeforeTheEpoch) {
  const double inf = std::numeric_limits<double>::infinity();
  const struct {
    double seconds;
    std::string_view text;
  } cases[] = {
      {1'772'442'000.0, "2026-03-02T09:00:00.000Z"},
      {1'772'442'000.25, "2026-03-02T09:00:00.250Z"},
      {1'772'406'000.0, "2026-03-01T23:00:00.000Z"},
      {0.0, "1970-01-01T00:00:00.000Z"},
      {-0.5, "1969-12-31T23:59:59.500Z"},
      {-0.001, "1969-12-31T23:59:59.999Z"},
      {-86'400.0, "1969-12-31T00:00:00.000Z"},
      {-86'400.001, "1969-12-30T23:59:59.999Z"},
      {951'825'600.0, "2000-02-29T12:00:00.000Z"},
      {-2'203'891'200.0, "1900-03-01T00:00:00.000Z"},
      {-62'167'219'200.0, "0000-01-01T00:00:00.000Z"},
      {-62'162'121'600.0, "0000-02-29T00:00:00.000Z"},
      // Rounding to the millisecond carries into every field.
      {0.0004, "1970-01-01T00:00:00.000Z"},
      {0.0006, "1970-01-01T00:00:00.001Z"},
      {946'684'799.9996, "2000-01-01T00:00:00.000Z"},
      {-0.0004, "1970-01-01T00:00:00.000Z"},
      // Beyond the four-digit years, and no number at all.
      {253'402'300'799.9994, "9999-12-31T23:59:59.999Z"},
      {253'402'300'800.0, "9999-12-31T23:59:59.999Z"},
      {1e300, "9999-12-31T23:59:59.999Z"},
      {inf, "9999-12-31T23:59:59.999Z"},
      {-62'167'219'200.001, "0000-01-01T00:00:00.000Z"},
      {-inf, "0000-01-01T00:00:00.000Z"},
      {std::nan(""), "1970-01-01T00:00:00.000Z"},
  };
  for (const auto& c : cases) {
    char buffer[IsoFormatter::kTextLength + 2];
    std::fill(std::begin(buffer), std::end(buffer), '#');
    char* end = isoFormatter().write(c.seconds, buffer + 1);
    EXPECT_EQ(end, buffer + 1 + IsoFormatter::kTextLength);
    EXPECT_EQ(std::string_view(buffer + 1, IsoFormatter::kTextLength), c.text) << c.seconds;
    EXPECT_EQ(buffer[0], '#');
    EXPECT_EQ(buffer[IsoFormatter::kTextLength + 1], '#');
    EXPECT_EQ(isoFormatter().stringFromDate(c.seconds), c.text);
    EXPECT_TRUE(parseIso(c.text)) << c.text;
  }
}

}  // namespace
}  // namespace vantrel
