// The one operation that reads the user's calendar database.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bridge_records.h"
#include "platform.h"

namespace vantrel {

// EventKit answers a query only "within a four year timespan", shortening a
// longer one to its first four years; a longer range is asked for in windows.
inline constexpr double kLongestQuerySeconds = 1460.0 * 86400.0;

struct QueryWindow {
  platform::Instant start;
  platform::Instant end;
};

// [start, end) as consecutive windows of at most kLongestQuerySeconds, each
// starting where the one before ended: exactly {start, end} when the range
// fits one query.
std::vector<QueryWindow> queryWindows(platform::Instant start, platform::Instant end);

// Every event calendar of a new store and every event of [start, end), in the
// store's order, window after window (queryWindows); an event that two windows
// both return (same identifier, same start) is kept once, where it came first.
// Throws AccessDenied, before creating a store, unless the status is full
// access.
BridgeSnapshot readAuthorizedSnapshot(platform::Instant start, platform::Instant end);

// encodeSnapshot(readAuthorizedSnapshot(start, end)) as a NUL-terminated text
// from malloc (release it with free), written while the events are read: no
// record of every event is held, and the text is never copied. Fails as
// readAuthorizedSnapshot and encodeSnapshot do, and with std::bad_alloc.
char* readAuthorizedSnapshotText(platform::Instant start, platform::Instant end);

// "#" and six upper-case hex digits; "#6C4CF0" without a colour or components.
std::string hexColor(const platform::Calendar& calendar);
std::string hexColor(const std::optional<std::vector<double>>& components);

// Trims the white space and line breaks (Unicode Zs, Zl, Zp, U+0009..U+000D and
// U+0085) from both ends of UTF-8 text.
std::string_view trimWhitespaceAndNewlines(std::string_view text);

}  // namespace vantrel
