// UTF-16 code units (what an NSString holds) to UTF-8, lossily: a surrogate
// without its partner becomes U+FFFD, so every string converts and nothing is
// dropped. Kept portable so that the macOS layer's text conversion is tested here.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace vantrel {

constexpr bool isHighSurrogate(std::uint16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Appends the UTF-8 form of `count` code units to `out`. A high surrogate at
// the very end counts as unpaired.
void appendUtf8FromUtf16(const std::uint16_t* units, std::size_t count, std::string& out);

constexpr std::size_t kUtf16Piece = 256;

// Replaces `out` with the UTF-8 form of a text of `length` code units that
// fetch(buffer, at, count) copies out piece by piece into a buffer on the stack
// (getCharacters:range:), keeping each surrogate pair within one piece.
template <class Fetch>
void assignUtf8FromUtf16Pieces(std::size_t length, Fetch&& fetch, std::string& out) {
  out.clear();
  std::uint16_t units[kUtf16Piece];
  for (std::size_t at = 0; at < length;) {
    std::size_t count = std::min(kUtf16Piece, length - at);
    fetch(units, at, count);
    if (count > 1 && at + count < length && isHighSurrogate(units[count - 1])) --count;
    appendUtf8FromUtf16(units, count, out);
    at += count;
  }
}

}  // namespace vantrel
