#include "utf16_to_utf8.h"

namespace vantrel {

namespace {

constexpr bool isLowSurrogate(std::uint16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

constexpr char32_t kReplacement = 0xFFFD;

void appendCodePoint(char32_t point, std::string& out) {
  if (point < 0x80) {
    out += static_cast<char>(point);
  } else if (point < 0x800) {
    out += static_cast<char>(0xC0 | (point >> 6));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else if (point < 0x10000) {
    out += static_cast<char>(0xE0 | (point >> 12));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (point >> 18));
    out += static_cast<char>(0x80 | ((point >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((point >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (point & 0x3F));
  }
}

}  // namespace

void appendUtf8FromUtf16(const std::uint16_t* units, std::size_t count, std::string& out) {
  for (std::size_t i = 0; i < count; ++i) {
    std::uint16_t unit = units[i];
    if (isHighSurrogate(unit) && i + 1 < count && isLowSurrogate(units[i + 1])) {
      char32_t point = 0x10000 + ((char32_t{unit} - 0xD800) << 10) + (units[i + 1] - 0xDC00);
      appendCodePoint(point, out);
      ++i;
    } else if (isHighSurrogate(unit) || isLowSurrogate(unit)) {
      appendCodePoint(kReplacement, out);
    } else {
      appendCodePoint(unit, out);
    }
  }
}

}  // namespace vantrel
