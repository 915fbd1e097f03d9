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

  std::string stringFromDate(Instant instant) const;
  // Writes exactly kTextLength bytes at `out` and returns the end.
  char* write(Instant instant, char* out) const;
};

// The process-wide formatter, made on first use under a one-time guard.
const IsoFormatter& isoFormatter();

// Accepts the internet date-time with or without fractional seconds, with "Z"
// or a numeric offset; nothing else (no trimming, no date-only texts).
std::optional<Instant> parseIso(std::string_view text);

}  // namespace vantrel
