#include "iso_date.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "bridge_failure.h"

namespace vantrel {
namespace {

constexpr char kDigitPairs[] =
    "0001020304050607080910111213141516171819"
    "2021222324252627282930313233343536373839"
    "4041424344454647484950515253545556575859"
    "6061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";
static_assert(sizeof kDigitPairs == 201);

void putTwo(char* out, std::uint32_t value) { std::memcpy(out, kDigitPairs + 2 * value, 2); }

constexpr std::int64_t kSecondsPerDay = 86'400;
constexpr std::int64_t kMsPerDay = kSecondsPerDay * 1000;
constexpr std::uint32_t kDaysPerEra = 146'097;  // 400 Gregorian years

// Days from 1970-01-01 to the given proleptic Gregorian date (Howard Hinnant's
// days_from_civil). Years start on 1 March, so the leap day ends a year.
constexpr std::int64_t daysFromCivil(std::int64_t year, std::uint32_t month, std::uint32_t day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<std::uint32_t>(year - era * 400);
  const std::uint32_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  const std::uint32_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * kDaysPerEra + static_cast<std::int64_t>(dayOfEra) - 719'468;
}

// Only years 0000..9999 fit the four-digit text; both ends are inclusive.
constexpr std::int64_t kFirstSecond = daysFromCivil(0, 1, 1) * kSecondsPerDay;
constexpr std::int64_t kLastSecond = daysFromCivil(10000, 1, 1) * kSecondsPerDay - 1;
constexpr std::int64_t kFirstMs = kFirstSecond * 1000;
constexpr std::int64_t kLastMs = kLastSecond * 1000 + 999;
static_assert(daysFromCivil(1970, 1, 1) == 0 && daysFromCivil(2000, 3, 1) == 11'017);

constexpr bool isLeapYear(std::uint32_t year) {
  return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0);
}

constexpr std::uint32_t daysInMonth(std::uint32_t year, std::uint32_t month) {
  constexpr std::uint8_t kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

bool isDigit(char c) { return static_cast<unsigned char>(c - '0') < 10; }

// Reads `count` decimal digits at `text`; false when any of them is not a digit.
bool readNumber(const char* text, int count, std::uint32_t& value) {
  value = 0;
  for (int i = 0; i < count; ++i) {
    if (!isDigit(text[i])) return false;
    value = value * 10 + static_cast<std::uint32_t>(text[i] - '0');
  }
  return true;
}

enum class Fraction { required, forbidden };

// YYYY-MM-DDTHH:MM:SS[.f+](Z|+HH:MM|-HH:MM), exactly, with or without the
// fraction as asked. Rejects what the output form could not write back.
std::optional<Instant> parseInternetDateTime(std::string_view text, Fraction fraction) {
  constexpr std::size_t kDateTimeLength = 19;  // YYYY-MM-DDTHH:MM:SS
  if (text.size() < kDateTimeLength + 1) return std::nullopt;
  const char* p = text.data();
  const char* const end = p + text.size();

  std::uint32_t year, month, day, hour, minute, second;
  if (!readNumber(p, 4, year) || p[4] != '-' || !readNumber(p + 5, 2, month) || p[7] != '-' ||
      !readNumber(p + 8, 2, day) || p[10] != 'T' || !readNumber(p + 11, 2, hour) ||
      p[13] != ':' || !readNumber(p + 14, 2, minute) || p[16] != ':' ||
      !readNumber(p + 17, 2, second)) {
    return std::nullopt;
  }
  // Second 60 is rejected too: a leap second has no instant of its own.
  if (month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59) {
    return std::nullopt;
  }
  p += kDateTimeLength;

  std::uint32_t nanos = 0;
  if (fraction == Fraction::required) {
    if (*p != '.') return std::nullopt;
    const char* const digits = ++p;
    // Digits past the ninth are read and dropped: a double holds no finer.
    for (std::uint32_t scale = 100'000'000; p != end && isDigit(*p); ++p, scale /= 10) {
      nanos += static_cast<std::uint32_t>(*p - '0') * scale;
    }
    if (p == digits) return std::nullopt;
  }

  std::int64_t offsetSeconds = 0;
  if (p == end) return std::nullopt;
  if (*p == 'Z') {
    ++p;
  } else if (*p == '+' || *p == '-') {
    std::uint32_t offsetHour, offsetMinute;
    if (end - p < 6 || !readNumber(p + 1, 2, offsetHour) || p[3] != ':' ||
        !readNumber(p + 4, 2, offsetMinute) || offsetHour > 23 || offsetMinute > 59) {
      return std::nullopt;
    }
    offsetSeconds = (offsetHour * 60 + offsetMinute) * 60;
    if (*p == '-') offsetSeconds = -offsetSeconds;
    p += 6;
  } else {
    return std::nullopt;
  }
  if (p != end) return std::nullopt;

  const std::int64_t seconds = daysFromCivil(year, month, day) * kSecondsPerDay +
                               (hour * 60 + minute) * 60 + second - offsetSeconds;
  if (seconds < kFirstSecond || seconds > kLastSecond ||
      (seconds == kLastSecond && nanos > 999'000'000)) {
    return std::nullopt;
  }
  // Whole milliseconds first: a text of the output form then gives exactly
  // k / 1000.0, not a sum that is one binary digit off.
  const std::int64_t ms = seconds * 1000 + nanos / 1'000'000;
  return static_cast<double>(ms) / 1000.0 + static_cast<double>(nanos % 1'000'000) * 1e-9;
}

}  // namespace

std::optional<Instant> IsoFormatter::dateFromString(std::string_view text) const {
  return parseInternetDateTime(text, Fraction::required);
}

std::optional<Instant> IsoFormatter::dateFromStringWithoutFraction(std::string_view text) {
  return parseInternetDateTime(text, Fraction::forbidden);
}

std::string IsoFormatter::stringFromDate(Instant instant) const {
  std::string text(kTextLength, '\0');
  write(instant, text.data());
  return text;
}

char* IsoFormatter::write(Instant instant, char* out) const {
  // Rounded to the nearest millisecond, not truncated: k / 1000.0 is often a
  // hair below k ms in binary and must still be written as k.
  // Instants beyond the four-digit years are clamped to the first or last
  // writable millisecond, so the text always parses back; NaN counts as 0.
  double ms = std::isnan(instant) ? 0.0 : instant * 1000.0;
  ms = std::clamp(ms, static_cast<double>(kFirstMs), static_cast<double>(kLastMs));
  // Half away from zero, as llround, without its library call; exact, since
  // both ms and its fraction are representable after the clamp.
  auto whole = static_cast<std::int64_t>(ms);
  const double fraction = ms - static_cast<double>(whole);
  whole += (fraction >= 0.5) - (fraction <= -0.5);
  // Counting from 0000-01-01 keeps every quantity below unsigned, and the
  // divisions are then the floor divisions that instants before 1970 need.
  const auto sinceFirst = static_cast<std::uint64_t>(whole - kFirstMs);
  const auto dayNumber = static_cast<std::uint32_t>(sinceFirst / kMsPerDay);
  auto msOfDay = static_cast<std::uint32_t>(sinceFirst % kMsPerDay);

  // civil_from_days in Neri and Schneider's form: Hinnant's algorithm with its
  // divisions for the year folded into one multiplication, a quarter faster.
  // Years start on 1 March and are counted from -0400-03-01; 0000-01-01 lies
  // 60 days before 0000-03-01.
  const std::uint32_t n1 = 4 * (dayNumber + kDaysPerEra - 60) + 3;
  const std::uint32_t century = n1 / kDaysPerEra;
  const std::uint32_t n2 = (n1 % kDaysPerEra) | 3;
  const std::uint64_t p2 = std::uint64_t{2'939'745} * n2;
  const auto yearOfCentury = static_cast<std::uint32_t>(p2 >> 32);
  const std::uint32_t dayOfYear = static_cast<std::uint32_t>(p2) / 11'758'980;
  const std::uint32_t n3 = 2'141 * dayOfYear + 197'913;
  const bool januaryOrFebruary = dayOfYear >= 306;
  const std::uint32_t year = 100 * century + yearOfCentury + januaryOrFebruary - 400;
  const std::uint32_t month = (n3 >> 16) - (januaryOrFebruary ? 12 : 0);
  const std::uint32_t day = (n3 & 0xFFFF) / 2'141 + 1;

  const std::uint32_t hour = msOfDay / 3'600'000;
  msOfDay -= hour * 3'600'000;
  const std::uint32_t minute = msOfDay / 60'000;
  msOfDay -= minute * 60'000;
  const std::uint32_t second = msOfDay / 1000;
  const std::uint32_t milli = msOfDay - second * 1000;

  putTwo(out, year / 100);
  putTwo(out + 2, year % 100);
  out[4] = '-';
  putTwo(out + 5, month);
  out[7] = '-';
  putTwo(out + 8, day);
  out[10] = 'T';
  putTwo(out + 11, hour);
  out[13] = ':';
  putTwo(out + 14, minute);
  out[16] = ':';
  putTwo(out + 17, second);
  out[19] = '.';
  out[20] = static_cast<char>('0' + milli / 100);
  putTwo(out + 21, milli % 100);
  out[23] = 'Z';
  return out + kTextLength;
}

const IsoFormatter& isoFormatter() {
  static const IsoFormatter formatter{};
  return formatter;
}

std::optional<Instant> parseIso(std::string_view text) {
  if (auto instant = isoFormatter().dateFromString(text)) return instant;
  return IsoFormatter::dateFromStringWithoutFraction(text);
}

InstantRange parseRange(const char* startIso, const char* endIso) {
  if (startIso == nullptr || endIso == nullptr) throw BridgeFailure::invalidArguments;
  const std::optional<Instant> start = parseIso(startIso);
  if (!start) throw BridgeFailure::invalidArguments;
  const std::optional<Instant> end = parseIso(endIso);
  if (!end || !(*start < *end)) throw BridgeFailure::invalidArguments;
  return {*start, *end};
}

}  // namespace vantrel
