#include "snapshot_reader.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <set>
#include <utility>

#include "authorization_labels.h"
#include "bridge_failure.h"
#include "iso_date.h"
#include "json_writer.h"

namespace vantrel {

namespace {

constexpr std::string_view kUntitledEvent = "Untitled event";
constexpr std::string_view kDefaultColor = "#6C4CF0";
constexpr std::size_t kMillisecondDigits = 20;  // a sign and 19 digits

// The start in whole milliseconds, truncated toward zero. Instants no real
// calendar holds (NaN, beyond the 64-bit range) are pinned instead of being
// converted with undefined behaviour.
std::int64_t truncatedMilliseconds(platform::Instant instant) {
  const double milliseconds = instant * 1000.0;
  if (std::isnan(milliseconds)) return 0;
  constexpr double kLimit = 9223372036854775807.0;  // rounds up to 2^63
  if (milliseconds >= kLimit) return std::numeric_limits<std::int64_t>::max();
  if (milliseconds <= -kLimit) return std::numeric_limits<std::int64_t>::min();
  // The conversion itself truncates toward zero (and needs no call to trunc).
  return static_cast<std::int64_t>(milliseconds);
}

int channel(double component) {
  if (!(component > 0.0)) return 0;  // negative or NaN
  if (component >= 1.0) return 255;
  return static_cast<int>(component * 255.0);
}

BridgeCalendar readCalendar(const platform::Calendar& calendar) {
  return BridgeCalendar(platform::calendarIdentifier(calendar).value_or(""),
                        platform::calendarTitle(calendar).value_or(""),
                        platform::calendarSourceTitle(calendar).value_or(""),
                        hexColor(calendar));
}

// Decodes the code point that starts at text[i]; -1 for a malformed sequence.
char32_t decodeAt(std::string_view text, std::size_t i, std::size_t& length) {
  auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  unsigned char lead = byte(i);
  std::size_t count = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (count == 0 || i + count > text.size()) {
    length = 1;
    return static_cast<char32_t>(-1);
  }
  char32_t point = count == 1 ? lead : lead & (0x7F >> count);
  for (std::size_t k = 1; k < count; ++k) point = (point << 6) | (byte(i + k) & 0x3F);
  length = count;
  return point;
}

bool isWhitespaceOrNewline(char32_t c) {
  return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 ||
         c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 ||
         c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// Whether an ASCII byte is one of the set; every other member is non-ASCII.
bool isAsciiWhitespaceOrNewline(unsigned char byte) {
  return byte == 0x20 || (byte >= 0x09 && byte <= 0x0D);
}

}  // namespace

std::string_view trimWhitespaceAndNewlines(std::string_view text) {
  if (text.empty()) return text;
  // Most texts start and end with a visible ASCII character: nothing to trim.
  const auto first = static_cast<unsigned char>(text.front());
  const auto last = static_cast<unsigned char>(text.back());
  if (first < 0x80 && last < 0x80 && !isAsciiWhitespaceOrNewline(first) &&
      !isAsciiWhitespaceOrNewline(last)) {
    return text;
  }
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t length;
    if (!isWhitespaceOrNewline(decodeAt(text, begin, length))) break;
    begin += length;
  }
  std::size_t end = text.size();
  while (end > begin) {
    // Step back to the first byte of the last character.
    std::size_t start = end - 1;
    while (start > begin && end - start < 4 &&
           (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
      --start;
    }
    std::size_t length;
    char32_t c = decodeAt(text, start, length);
    if (start + length != end || !isWhitespaceOrNewline(c)) break;
    end = start;
  }
  return text.substr(begin, end - begin);
}

std::string hexColor(const std::optional<std::vector<double>>& components) {
  if (!components || components->empty()) return std::string(kDefaultColor);
  const auto& c = *components;
  bool grey = c.size() < 3;
  int red = channel(c[0]);
  int green = channel(grey ? c[0] : c[1]);
  int blue = channel(grey ? c[0] : c[2]);
  char text[8];
  std::snprintf(text, sizeof text, "#%02X%02X%02X", red, green, blue);
  return std::string(text, 7);
}

std::string hexColor(const platform::Calendar& calendar) {
  return hexColor(platform::calendarColorComponents(calendar));
}

namespace {

struct WindowAnswer {
  QueryWindow window;
  platform::EventListRef events;
  std::size_t eventCount = 0;
};

// What the store answers, up to the event queries: shared by both outputs.
struct StoreAnswer {
  platform::StoreRef store;  // held until the events are converted
  std::vector<BridgeCalendar> calendars;
  std::vector<WindowAnswer> windows;
  std::size_t eventCount = 0;  // of every window, an event two return counted twice
};

StoreAnswer queryStore(platform::Instant start, platform::Instant end) {
  if (const auto status = currentAuthorizationStatus(); status != AuthorizationStatus::fullAccess) {
    throw AccessDenied{status};
  }

  StoreAnswer answer;
  answer.store = platform::newStore();
  std::vector<platform::CalendarRef> calendars =
      platform::eventCalendars(*answer.store).value_or(std::vector<platform::CalendarRef>{});

  answer.calendars.reserve(calendars.size());
  for (const auto& calendar : calendars) answer.calendars.push_back(readCalendar(*calendar));

  const std::vector<QueryWindow> windows = queryWindows(start, end);
  answer.windows.reserve(windows.size());
  for (const QueryWindow& window : windows) {
    // Always this list, even empty: the query must never widen to all calendars.
    WindowAnswer& windowAnswer = answer.windows.emplace_back();
    windowAnswer.window = window;
    windowAnswer.events = platform::eventsMatching(*answer.store, window.start, window.end, calendars);
    windowAnswer.eventCount = platform::eventCount(*windowAnswer.events);
    answer.eventCount += windowAnswer.eventCount;
  }
  return answer;
}

// An event that reaches past the end of its window, by identifier and exact
// start: the next window returns it again.
using EventKey = std::pair<std::string, std::uint64_t>;

EventKey eventKey(const std::optional<std::string>& identifier, platform::Instant start) {
  return {identifier.value_or(std::string()), std::bit_cast<std::uint64_t>(start)};
}

// Converts every event of the answer, window after window in the store's
// order, and hands each one's fields to `take`; they are valid only during
// that call.
template <typename Take>
void convertEvents(const StoreAnswer& answer, platform::Instant start, platform::Instant end,
                   Take take) {
  const IsoFormatter& formatter = isoFormatter();
  platform::EventValues values;
  std::string id;
  char startIso[IsoFormatter::kTextLength];
  char endIso[IsoFormatter::kTextLength];
  std::set<EventKey> reachingPastTheirWindow;
  for (std::size_t w = 0; w < answer.windows.size(); ++w) {
    const WindowAnswer& window = answer.windows[w];
    const bool lastWindow = w + 1 == answer.windows.size();
    for (std::size_t i = 0; i < window.eventCount; ++i) {
      platform::readEvent(*window.events, i, values);
      // A store always gives an event its dates; should one be missing, the
      // range it was found in is the best that is known of it.
      platform::Instant eventStart = values.start.value_or(start);
      platform::Instant eventEnd = values.end.value_or(end);

      if (w > 0 && eventStart < window.window.start &&
          reachingPastTheirWindow.contains(eventKey(values.itemIdentifier, eventStart))) {
        continue;
      }
      if (!lastWindow && eventEnd > window.window.end) {
        reachingPastTheirWindow.insert(eventKey(values.itemIdentifier, eventStart));
      }

      const std::string_view identifier =
          values.itemIdentifier ? std::string_view(*values.itemIdentifier) : std::string_view();
      // Written in place: the text keeps its capacity from event to event.
      id.resize(identifier.size() + 2 + kMillisecondDigits);
      char* out = std::copy(identifier.begin(), identifier.end(), id.data());
      *out++ = ':';
      *out++ = ':';
      out = std::to_chars(out, out + kMillisecondDigits, truncatedMilliseconds(eventStart)).ptr;
      id.resize(static_cast<std::size_t>(out - id.data()));

      std::string_view title;
      if (values.title) title = trimWhitespaceAndNewlines(*values.title);
      if (title.empty()) title = kUntitledEvent;

      std::optional<std::string_view> location;
      if (values.location) location = trimWhitespaceAndNewlines(*values.location);

      formatter.write(eventStart, startIso);
      formatter.write(eventEnd, endIso);
      take(EventFields{id,
                       values.calendarIdentifier ? std::string_view(*values.calendarIdentifier)
                                                 : std::string_view(),
                       title, std::string_view(startIso, sizeof startIso),
                       std::string_view(endIso, sizeof endIso), values.isAllDay, location});
    }
  }
}

}  // namespace

std::vector<QueryWindow> queryWindows(platform::Instant start, platform::Instant end) {
  if (!(end - start > kLongestQuerySeconds)) return {{start, end}};
  std::vector<QueryWindow> windows;
  // Each boundary from the start by multiplication, not by repeated addition,
  // so no rounding accumulates; a window ends exactly where the next starts.
  platform::Instant windowStart = start;
  for (std::size_t k = 1;; ++k) {
    const platform::Instant boundary = start + static_cast<double>(k) * kLongestQuerySeconds;
    if (!(boundary < end)) {
      windows.push_back({windowStart, end});
      return windows;
    }
    windows.push_back({windowStart, boundary});
    windowStart = boundary;
  }
}

BridgeSnapshot readAuthorizedSnapshot(platform::Instant start, platform::Instant end) {
  StoreAnswer answer = queryStore(start, end);
  BridgeTextPool pool;
  std::vector<BridgeEvent> events;
  events.reserve(answer.eventCount);
  convertEvents(answer, start, end, [&events, &pool](const EventFields& event) {
    events.emplace_back(pool, event.id, event.calendarId, event.title, event.startIso,
                        event.endIso, event.isAllDay, event.location);
  });
  return BridgeSnapshot(std::move(answer.calendars), std::move(events));
}

char* readAuthorizedSnapshotText(platform::Instant start, platform::Instant end) {
  const StoreAnswer answer = queryStore(start, end);
  SnapshotTextWriter writer(answer.calendars, answer.eventCount);
  convertEvents(answer, start, end, [&writer](const EventFields& event) { writer.addEvent(event); });
  return writer.finish();
}

}  // namespace vantrel
