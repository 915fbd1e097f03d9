#include "eds_colour.h"

#include <array>
#include <charconv>
#include <cmath>

namespace vantrel::eds {

namespace {

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::vector<double> fromBytes(const std::array<int, 3>& bytes) {
  std::vector<double> components;
  for (const int byte : bytes) components.push_back((byte + 0.5) / 255.0);
  return components;
}

std::optional<std::vector<double>> fromHex(std::string_view digits) {
  if (digits.empty() || digits.size() % 3 != 0 || digits.size() > 12) return std::nullopt;
  const std::size_t width = digits.size() / 3;
  std::array<int, 3> bytes{};
  for (std::size_t channel = 0; channel < 3; ++channel) {
    int value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      const int digit = hexDigit(digits[channel * width + i]);
      if (digit < 0) return std::nullopt;
      value = value * 16 + digit;
    }
    // The top byte of a wide channel; a single digit doubled (#abc is #aabbcc).
    bytes[channel] = width == 1 ? value * 17 : value >> (4 * (width - 2));
  }
  return fromBytes(bytes);
}

// One channel of rgb(): 0-255, or a percentage of 255.
std::optional<int> channel(std::string_view text) {
  text = trimmed(text);
  const bool percent = !text.empty() && text.back() == '%';
  if (percent) text.remove_suffix(1);
  double value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (percent) value = value * 255.0 / 100.0;
  if (!(value >= 0 && value <= 255)) return std::nullopt;
  return static_cast<int>(std::lround(value));
}

std::optional<std::vector<double>> fromFunction(std::string_view arguments, std::size_t count) {
  std::array<int, 3> bytes{};
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t comma = arguments.find(',');
    if ((comma == std::string_view::npos) != (i + 1 == count)) return std::nullopt;
    const std::string_view part = arguments.substr(0, comma);
    if (i < 3) {
      const auto value = channel(part);
      if (!value) return std::nullopt;
      bytes[i] = *value;
    }
    if (comma != std::string_view::npos) arguments.remove_prefix(comma + 1);
  }
  return fromBytes(bytes);
}

}  // namespace

std::optional<std::vector<double>> colourComponents(std::string_view text) {
  text = trimmed(text);
  if (text.starts_with('#')) return fromHex(text.substr(1));
  for (const auto& [prefix, count] : {std::pair<std::string_view, std::size_t>{"rgb(", 3},
                                      std::pair<std::string_view, std::size_t>{"rgba(", 4}}) {
    if (text.starts_with(prefix) && text.ends_with(')')) {
      return fromFunction(text.substr(prefix.size(), text.size() - prefix.size() - 1), count);
    }
  }
  return std::nullopt;
}

}  // namespace vantrel::eds
