#include "iso_date.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <string_view>

namespace vantrel {
namespace {

namespace chrono = std::chrono;

// The slow way round, through the standard library's calendar.
std::string referenceText(std::int64_t ms) {
  const chrono::sys_time<chrono::milliseconds> instant{chrono::milliseconds{ms}};
  const auto day = chrono::floor<chrono::days>(instant);
  const chrono::year_month_day date{day};
  const chrono::hh_mm_ss time{instant - day};
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02d.%03dZ",
                static_cast<int>(date.year()), static_cast<unsigned>(date.month()),
                static_cast<unsigned>(date.day()), static_cast<int>(time.hours().count()),
                static_cast<int>(time.minutes().count()), static_cast<int>(time.seconds().count()),
                static_cast<int>(time.subseconds().count()));
  return text;
}

std::int64_t msSinceEpoch(chrono::sys_days day) {
  return chrono::duration_cast<chrono::milliseconds>(day.time_since_epoch()).count();
}

TEST(IsoDateRoundTrip, RandomMillisecondsWriteAsTheCalendarSaysAndParseBack) {
  using namespace std::chrono_literals;
  const std::int64_t first = msSinceEpoch(chrono::year{1} / 1 / 1);
  const std::int64_t last = msSinceEpoch(chrono::sys_days{9999y / 12 / 31} + chrono::days{1}) - 1;
  std::mt19937_64 random(20260302);
  std::uniform_int_distribution<std::int64_t> pick(first, last);
  for (int i = 0; i < 200'000; ++i) {
    const std::int64_t ms = pick(random);
    const std::string text = isoFormatter().stringFromDate(static_cast<double>(ms) / 1000.0);
    ASSERT_EQ(text, referenceText(ms)) << ms;
    const auto parsed = parseIso(text);
    ASSERT_TRUE(parsed) << text;
    ASSERT_EQ(std::llround(*parsed * 1000.0), ms) << text;
  }
}

// Every day of the writable years, so that no single date can hide from the sample above.
TEST(IsoDateRoundTrip, EveryDayFollowsTheOneBefore) {
  const auto daysIn = [](unsigned year, unsigned month) -> unsigned {
    if (month != 2) return month == 4 || month == 6 || month == 9 || month == 11 ? 30 : 31;
    return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0) ? 29 : 28;
  };
  unsigned year = 0, month = 1, day = 1;
  char expected[] = "YYYY-MM-DDT12:34:56.789Z";
  const auto put = [&](int at, int width, unsigned value) {
    for (int i = width - 1; i >= 0; --i, value /= 10) expected[at + i] = static_cast<char>('0' + value % 10);
  };
  char text[IsoFormatter::kTextLength];
  for (std::int64_t dayNumber = -719'528; year < 10000; ++dayNumber) {
    put(0, 4, year), put(5, 2, month), put(8, 2, day);
    isoFormatter().write(static_cast<double>(dayNumber) * 86'400.0 + 45'296.789, text);
    ASSERT_EQ(std::string_view(text, sizeof text), std::string_view(expected, sizeof text));
    if (++day > daysIn(year, month)) {
      day = 1;
      if (++month > 12) month = 1, ++year;
    }
  }
}

}  // namespace
}  // namespace vantrel
