// The one ISO-8601 text form in which instants enter and leave the bridge:
// the internet date-time profile, written in UTC with milliseconds and "Z"
// (2026-03-02T09:00:00.000Z). Integer calendar arithmetic only: no gmtime,
// timegm, strftime or locale, so it is fast and the same on every platform.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "platform.h"

namespace vantrel {

using Instant = platform::Instant;

class IsoFormatter {
 public:
  static constexpr std::size_t kTextLength = 24;  // 2026-03-02T09:00:00.000Z

  // Internet date-time with fractional seconds, "Z" or a numeric offset.
  std::optional<Instant> dateFromString(std::string_view text) const;
  // The same form without fractional seconds.
  static std::optional<Instant> dateFromStringWithoutFraction(std::string_view text);

  // UTC, rounded to the nearest millisecond. Instants outside the years
  // 0000..9999 are clamped to the first or last millisecond of that range, and
  // NaN is written as 1970-01-01T00:00:00.000Z, so every text parses back.
  std::string stringFromDate(Instant instant) const;
  // Writes exactly kTextLength bytes at `out` (no NUL) and returns the end.
  char* write(Instant instant, char* out) const;
};

// The process-wide formatter, made on first use under a one-time guard.
const IsoFormatter& isoFormatter();

// Accepts the internet date-time with or without fractional seconds, with "Z"
// or a numeric offset; nothing else (no trimming, no date-only texts, no lower
// case "t" or "z", no leap second, nothing outside the years 0000..9999 in UTC).
std::optional<Instant> parseIso(std::string_view text);

struct InstantRange {
  Instant start;
  Instant end;
};

// The range of a snapshot: both texts accepted by parseIso, the start strictly
// before the end. Throws BridgeFailure::invalidArguments otherwise, a null
// text included.
InstantRange parseRange(const char* startIso, const char* endIso);

}  // namespace vantrel
