#include "calendar_ids.h"

#include <algorithm>
#include <cstdint>
#include <stdexcept>

#include "json_text.h"

namespace vantrel {
namespace {

constexpr const char* kNotAnArray = "Vantrel requires the calendar ids as a JSON array of strings.";

class IdsReader {
 public:
  explicit IdsReader(std::string_view json) : json_(json) {}

  std::vector<std::string> read() {
    const auto* bytes = reinterpret_cast<const unsigned char*>(json_.data());
    if (!json_text::isUtf8(bytes, json_.size())) fail();
    std::vector<std::string> ids;
    expect('[');
    if (peek() == ']') {
      ++at_;
    } else {
      for (;;) {
        ids.push_back(string());
        const char next = peek();
        ++at_;
        if (next == ']') break;
        if (next != ',') fail();
      }
    }
    if (peek() != '\0' || at_ != json_.size()) fail();
    return ids;
  }

 private:
  [[noreturn]] static void fail() { throw std::invalid_argument(kNotAnArray); }

  // The next byte that is not white space; NUL at the end.
  char peek() {
    while (at_ < json_.size() &&
           (json_[at_] == ' ' || json_[at_] == '\t' || json_[at_] == '\n' || json_[at_] == '\r')) {
      ++at_;
    }
    return at_ < json_.size() ? json_[at_] : '\0';
  }

  void expect(char c) {
    if (peek() != c) fail();
    ++at_;
  }

  std::uint32_t hexQuad() {
    if (json_.size() - at_ < 4) fail();
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
      const char c = json_[at_++];
      value <<= 4;
      if (c >= '0' && c <= '9') {
        value |= static_cast<std::uint32_t>(c - '0');
      } else if (c >= 'a' && c <= 'f') {
        value |= static_cast<std::uint32_t>(c - 'a' + 10);
      } else if (c >= 'A' && c <= 'F') {
        value |= static_cast<std::uint32_t>(c - 'A' + 10);
      } else {
        fail();
      }
    }
    return value;
  }

  static void appendUtf8(std::uint32_t point, std::string& into) {
    if (point < 0x80) {
      into += static_cast<char>(point);
    } else if (point < 0x800) {
      into += static_cast<char>(0xC0 | (point >> 6));
      into += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
      into += static_cast<char>(0xE0 | (point >> 12));
      into += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      into += static_cast<char>(0x80 | (point & 0x3F));
    } else {
      into += static_cast<char>(0xF0 | (point >> 18));
      into += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
      into += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
      into += static_cast<char>(0x80 | (point & 0x3F));
    }
  }

  std::uint32_t escapedPoint() {
    std::uint32_t point = hexQuad();
    if (point >= 0xDC00 && point <= 0xDFFF) fail();
    if (point >= 0xD800 && point <= 0xDBFF) {
      if (json_.substr(at_, 2) != "\\u") fail();
      at_ += 2;
      const std::uint32_t low = hexQuad();
      if (low < 0xDC00 || low > 0xDFFF) fail();
      point = 0x10000 + ((point - 0xD800) << 10) + (low - 0xDC00);
    }
    return point;
  }

  std::string string() {
    expect('"');
    std::string text;
    for (;;) {
      if (at_ >= json_.size()) fail();
      const char c = json_[at_++];
      if (c == '"') return text;
      if (static_cast<unsigned char>(c) < 0x20) fail();
      if (c != '\\') {
        text += c;
        continue;
      }
      if (at_ >= json_.size()) fail();
      switch (const char escape = json_[at_++]) {
        case '"':
        case '\\':
        case '/':
          text += escape;
          break;
        case 'b':
          text += '\b';
          break;
        case 'f':
          text += '\f';
          break;
        case 'n':
          text += '\n';
          break;
        case 'r':
          text += '\r';
          break;
        case 't':
          text += '\t';
          break;
        case 'u':
          appendUtf8(escapedPoint(), text);
          break;
        default:
          fail();
      }
    }
  }

  std::string_view json_;
  std::size_t at_ = 0;
};

}  // namespace

std::vector<std::string> parseCalendarIds(std::string_view json) { return IdsReader(json).read(); }

std::vector<platform::CalendarRef> filterCalendars(std::vector<platform::CalendarRef> calendars,
                                                   const CalendarFilter& filter) {
  if (!filter) return calendars;
  std::erase_if(calendars, [&filter](const platform::CalendarRef& calendar) {
    const auto id = platform::calendarIdentifier(*calendar);
    return !id || std::find(filter->begin(), filter->end(), *id) == filter->end();
  });
  return calendars;
}

}  // namespace vantrel
