#include "snapshot_reader.h"

#include <algorithm>
#include <bit>
#include <functional>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <memory>
#include <unordered_map>
#include <utility>

#include "authorization_labels.h"
#include "bridge_failure.h"
#include "conference_link.h"
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

// An event by identifier and exact start: the key under which an event that
// reaches past its window's end is expected again in the next window.
struct EventKey {
  std::string_view identifier;
  std::uint64_t start;
  bool operator==(const EventKey&) const = default;
};

struct EventKeyHash {
  std::size_t operator()(const EventKey& key) const {
    return std::hash<std::string_view>{}(key.identifier) ^ (key.start * 0x9E3779B97F4A7C15u);
  }
};

EventKey eventKey(const std::optional<std::string>& identifier, platform::Instant start) {
  return {identifier ? std::string_view(*identifier) : std::string_view(),
          std::bit_cast<std::uint64_t>(start)};
}

// The events that reached past a window's end, by the last two windows whose
// end they did reach past (the store may repeat an event within a window).
class ReachingPast {
 public:
  bool reachedPast(const EventKey& key, std::size_t window) const {
    const auto found = events_.find(key);
    if (found == events_.end()) return false;
    const Entry& entry = found->second;
    return entry.last == window || (entry.last == window + 1 && entry.before == window);
  }

  void remember(const EventKey& key, std::size_t window) {
    if (const auto found = events_.find(key); found != events_.end()) {
      Entry& entry = found->second;
      if (entry.last != window) entry.before = std::exchange(entry.last, window);
      return;
    }
    // The key's text lives in the entry, at an address that never moves.
    auto identifier = std::make_unique<std::string>(key.identifier);
    const EventKey owned{*identifier, key.start};
    events_.emplace(owned, Entry{std::move(identifier), window, kNone});
  }

  // Only what reached past `window` can come again; the rest is dropped, so
  // that no more is held than one window's events.
  void keepOnly(std::size_t window) {
    std::erase_if(events_, [window](const auto& entry) { return entry.second.last != window; });
  }

 private:
  static constexpr std::size_t kNone = static_cast<std::size_t>(-1);
  struct Entry {
    std::unique_ptr<std::string> identifier;
    std::size_t last;
    std::size_t before;
  };
  std::unordered_map<EventKey, Entry, EventKeyHash> events_;
};

}  // namespace

platform::Instant queryWindowEnd(platform::Instant start, platform::Instant end) {
  // start + kLongestQuerySeconds rounds to the nearest instant, which may lie
  // after the exact sum; the rounding error, exactly (Knuth's two-sum), says
  // whether to step back to the instant before.
  const double sum = start + kLongestQuerySeconds;
  const double addend = sum - start;
  const double error = (start - (sum - addend)) + (kLongestQuerySeconds - addend);
  const double latest =
      error < 0 ? std::nextafter(sum, -std::numeric_limits<double>::infinity()) : sum;
  return end > latest ? latest : end;
}

std::vector<QueryWindow> queryWindows(platform::Instant start, platform::Instant end) {
  std::vector<QueryWindow> windows;
  platform::Instant windowStart = start;
  for (;;) {
    const platform::Instant windowEnd = queryWindowEnd(windowStart, end);
    windows.push_back({windowStart, windowEnd});
    if (!(windowEnd < end)) return windows;
    windowStart = windowEnd;
  }
}

void walkEvents(platform::Store& store, const std::vector<platform::CalendarRef>& calendars,
                platform::Instant start, platform::Instant end, EventVisitor& visitor) {
  if (calendars.empty()) return;
  platform::EventValues values;
  ReachingPast reachingPast;
  platform::Instant windowStart = start;
  for (std::size_t w = 0;; ++w) {
    const platform::Instant windowEnd = queryWindowEnd(windowStart, end);
    const bool lastWindow = !(windowEnd < end);
    const platform::EventListRef events = platform::eventsMatching(store, windowStart, windowEnd, calendars);
    const std::size_t count = platform::eventCount(*events);
    visitor.window(count);
    for (std::size_t i = 0; i < count; ++i) {
      platform::readEvent(*events, i, values);
      // A store always gives an event its dates; should one be missing, the
      // range it was found in is the best that is known of it.
      const platform::Instant eventStart = values.start.value_or(start);
      const platform::Instant eventEnd = values.end.value_or(end);
      // Whether a store returns an event that only touches a boundary (ends
      // on it, or has zero length there) to both windows is not documented:
      // such an event counts as reaching past, and as coming again.
      const bool again = w > 0 && eventStart <= windowStart &&
                         reachingPast.reachedPast(eventKey(values.itemIdentifier, eventStart), w - 1);
      if (!lastWindow && eventEnd >= windowEnd) {
        reachingPast.remember(eventKey(values.itemIdentifier, eventStart), w);
      }
      if (!again) visitor.event(WalkedEvent{*events, i, values, eventStart, eventEnd});
    }
    if (lastWindow) return;
    reachingPast.keepOnly(w);
    windowStart = windowEnd;
  }
}

AuthorizedStore openAuthorizedStore(const CalendarFilter& filter) {
  if (const auto status = currentAuthorizationStatus(); status != AuthorizationStatus::fullAccess) {
    throw AccessDenied{status};
  }
  AuthorizedStore opened;
  if (filter && filter->empty()) return opened;
  opened.store = platform::newStore();
  opened.calendars = filterCalendars(
      platform::eventCalendars(*opened.store).value_or(std::vector<platform::CalendarRef>{}),
      filter);
  return opened;
}

[[gnu::always_inline]] inline std::string_view EventConverter::id(const WalkedEvent& event) {
  const platform::EventValues& values = event.values;
  const std::string_view identifier =
      values.itemIdentifier ? std::string_view(*values.itemIdentifier) : std::string_view();
  // Written in place: the text keeps its capacity from event to event.
  id_.resize(identifier.size() + 2 + kMillisecondDigits);
  char* out = std::copy(identifier.begin(), identifier.end(), id_.data());
  *out++ = ':';
  *out++ = ':';
  out = std::to_chars(out, out + kMillisecondDigits, truncatedMilliseconds(event.start)).ptr;
  id_.resize(static_cast<std::size_t>(out - id_.data()));
  return id_;
}

EventFields EventConverter::convert(const WalkedEvent& event) {
  const platform::EventValues& values = event.values;
  id(event);

  std::string_view title;
  if (values.title) title = trimWhitespaceAndNewlines(*values.title);
  if (title.empty()) title = kUntitledEvent;

  std::optional<std::string_view> location;
  if (values.location) location = trimWhitespaceAndNewlines(*values.location);

  const IsoFormatter& formatter = isoFormatter();
  formatter.write(event.start, startIso_);
  formatter.write(event.end, endIso_);
  return EventFields{id_,
                     values.calendarIdentifier ? std::string_view(*values.calendarIdentifier)
                                               : std::string_view(),
                     title, std::string_view(startIso_, sizeof startIso_),
                     std::string_view(endIso_, sizeof endIso_), values.isAllDay, location};
}

namespace {

std::vector<BridgeCalendar> readCalendars(const std::vector<platform::CalendarRef>& calendars) {
  std::vector<BridgeCalendar> read;
  read.reserve(calendars.size());
  for (const auto& calendar : calendars) read.push_back(readCalendar(*calendar));
  return read;
}

}  // namespace

BridgeSnapshot readAuthorizedSnapshot(platform::Instant start, platform::Instant end) {
  const AuthorizedStore opened = openAuthorizedStore();
  std::vector<BridgeCalendar> calendars = readCalendars(opened.calendars);

  struct Records final : EventVisitor {
    // Room for the first window's events, every event when the range fits one
    // query; later windows grow the list as it goes.
    void window(std::size_t eventCount) override {
      if (events.capacity() == 0) events.reserve(eventCount);
    }
    void event(const WalkedEvent& walked) override {
      const EventFields event = converter.convert(walked);
      events.emplace_back(pool, event.id, event.calendarId, event.title, event.startIso,
                          event.endIso, event.isAllDay, event.location);
    }
    EventConverter converter;
    BridgeTextPool pool;
    std::vector<BridgeEvent> events;
  } records;
  walkEvents(*opened.store, opened.calendars, start, end, records);
  return BridgeSnapshot(std::move(calendars), std::move(records.events));
}

namespace {

// The snapshot's document, and with `occurrences` the occurrence keys too.
char* snapshotText(platform::Instant start, platform::Instant end, const CalendarFilter& filter,
                   bool occurrences) {
  const AuthorizedStore opened = openAuthorizedStore(filter);
  const std::vector<BridgeCalendar> calendars = readCalendars(opened.calendars);

  // The writer starts once the first window is counted, with room for its
  // events: every event of a range that fits one query.
  struct Text final : EventVisitor {
    explicit Text(const std::vector<BridgeCalendar>& calendars) : calendars(calendars) {}
    void window(std::size_t eventCount) override {
      if (!writer) writer.emplace(calendars, eventCount);
    }
    void event(const WalkedEvent& walked) override {
      writer->addEvent(converter.convert(walked));
      if (!keys) return;
      const platform::EventValues& values = walked.values;
      std::string& key = keys->emplace_back(values.itemIdentifier.value_or(""));
      key += "::";
      key += std::to_string(truncatedMilliseconds(values.occurrenceDate.value_or(walked.start)));
    }
    const std::vector<BridgeCalendar>& calendars;
    EventConverter converter;
    std::optional<SnapshotTextWriter> writer;
    std::optional<std::vector<std::string>> keys;
  } text(calendars);
  if (occurrences) text.keys.emplace();
  if (opened.store) walkEvents(*opened.store, opened.calendars, start, end, text);
  if (!text.writer) text.writer.emplace(calendars, 0);
  return occurrences ? text.writer->finish("occurrences", *text.keys) : text.writer->finish();
}

}  // namespace

char* readAuthorizedSnapshotText(platform::Instant start, platform::Instant end) {
  return snapshotText(start, end, std::nullopt, false);
}

char* readAuthorizedSnapshotText(platform::Instant start, platform::Instant end,
                                 const CalendarFilter& filter) {
  return snapshotText(start, end, filter, false);
}

char* readAuthorizedOccurrencesText(platform::Instant start, platform::Instant end,
                                    const CalendarFilter& filter) {
  return snapshotText(start, end, filter, true);
}

char* readAuthorizedDetailsText(platform::Instant start, platform::Instant end,
                                const CalendarFilter& filter) {
  const AuthorizedStore opened = openAuthorizedStore(filter);

  // The snapshot's walk, so the same events come in the same order, and its id.
  struct Text final : EventVisitor {
    void window(std::size_t eventCount) override {
      if (!writer) writer.emplace(eventCount);
    }
    void event(const WalkedEvent& walked) override {
      const auto& details = platform::readEventDetails(walked.list, walked.index, scratch);
      const auto text = [](const std::optional<std::string>& value) {
        return value ? std::optional<std::string_view>(*value) : std::nullopt;
      };
      writer->addEvent(converter.id(walked), details,
                       conferenceLink(text(details.url), text(walked.values.location),
                                      text(details.notes)));
    }
    EventConverter converter;
    platform::EventDetailValues scratch;
    std::optional<DetailsTextWriter> writer;
  } text;
  if (opened.store) walkEvents(*opened.store, opened.calendars, start, end, text);
  if (!text.writer) text.writer.emplace(0);
  return text.writer->finish();
}

}  // namespace vantrel
