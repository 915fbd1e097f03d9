#include "tight_writer.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "iso_date.h"
#include "snapshot_reader.h"

namespace vantrel::bench {
namespace {

constexpr std::array<char, 256> kEscape = [] {
  std::array<char, 256> table{};
  for (int c = 0; c < 0x20; ++c) table[c] = 'u';
  table['\b'] = 'b';
  table['\f'] = 'f';
  table['\n'] = 'n';
  table['\r'] = 'r';
  table['\t'] = 't';
  table['"'] = '"';
  table['\\'] = '\\';
  table['/'] = '/';
  return table;
}();

char* raw(std::string_view text, char* out) {
  std::memcpy(out, text.data(), text.size());
  return out + text.size();
}

char* quoted(std::string_view text, char* out) {
  constexpr char kHex[] = "0123456789abcdef";
  *out++ = '"';
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    const char escape = kEscape[byte];
    if (escape == 0) {
      *out++ = c;
      continue;
    }
    *out++ = '\\';
    *out++ = escape;
    if (escape == 'u') {
      out = raw("00", out);
      *out++ = kHex[byte >> 4];
      *out++ = kHex[byte & 0xF];
    }
  }
  *out++ = '"';
  return out;
}

char* iso(platform::Instant instant, char* out) {
  *out++ = '"';
  out = isoFormatter().write(instant, out);
  *out++ = '"';
  return out;
}

std::string_view text(const std::optional<std::string>& value) {
  return value ? std::string_view(*value) : std::string_view();
}

}  // namespace

std::size_t writeTightSnapshot(platform::Instant start, platform::Instant end, char* out) {
  char* const begin = out;
  const platform::StoreRef store = platform::newStore();
  const auto calendars =
      platform::eventCalendars(*store).value_or(std::vector<platform::CalendarRef>{});
  out = raw("{\"calendars\":[", out);
  for (std::size_t i = 0; i < calendars.size(); ++i) {
    const platform::Calendar& calendar = *calendars[i];
    if (i != 0) *out++ = ',';
    out = quoted(hexColor(calendar), raw("{\"color\":", out));
    out = quoted(platform::calendarIdentifier(calendar).value_or(""), raw(",\"id\":", out));
    out = quoted(platform::calendarTitle(calendar).value_or(""), raw(",\"name\":", out));
    out = quoted(platform::calendarSourceTitle(calendar).value_or(""), raw(",\"sourceName\":", out));
    *out++ = '}';
  }
  out = raw("],\"events\":[", out);

  const platform::EventListRef answer = platform::eventsMatching(*store, start, end, calendars);
  platform::EventValues values;
  for (std::size_t i = 0, count = platform::eventCount(*answer); i < count; ++i) {
    platform::readEvent(*answer, i, values);
    const double eventStart = values.start.value_or(start);
    if (i != 0) *out++ = ',';
    out = quoted(text(values.calendarIdentifier), raw("{\"calendarId\":", out));
    out = iso(values.end.value_or(end), raw(",\"endIso\":", out));
    out = raw(",\"id\":", out);
    out = quoted(text(values.itemIdentifier), out) - 1;  // reopen after the identifier
    out = raw("::", out);
    out = std::to_chars(out, out + 24, static_cast<std::int64_t>(std::trunc(eventStart * 1000.0))).ptr;
    *out++ = '"';
    out = raw(values.isAllDay ? ",\"isAllDay\":true" : ",\"isAllDay\":false", out);
    if (values.location) {
      out = quoted(trimWhitespaceAndNewlines(*values.location), raw(",\"location\":", out));
    }
    out = iso(eventStart, raw(",\"startIso\":", out));
    std::string_view title;
    if (values.title) title = trimWhitespaceAndNewlines(*values.title);
    if (title.empty()) title = "Untitled event";
    out = quoted(title, raw(",\"title\":", out));
    *out++ = '}';
  }
  out = raw("]}", out);
  return static_cast<std::size_t>(out - begin);
}

}  // namespace vantrel::bench
