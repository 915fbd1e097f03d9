// How the bridge's JSON strings hold texts: which bytes are escaped and how,
// the one UTF-8 check, and a fast test for plain texts, which a JSON string holds
// byte for byte (ASCII, no control character, quotation mark, backslash or
// slash). Most texts of a snapshot (identifiers, ISO dates, plain titles) are
// plain, and a writer just copies them.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vantrel::json_text {

// For each byte: the letter after the backslash of its escape, 'u' for a
// \u00XX escape, 0 when the byte is written as it is. Only the five usual
// control characters get short escapes; the others use lower-case hex.
inline constexpr std::array<char, 256> kEscapeLetter = [] {
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

constexpr bool isContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }

// The end of the UTF-8 sequence that starts at the non-ASCII byte `p`, or
// nullptr when it is not one. Overlong forms, surrogates and code points past
// U+10FFFF are refused through the allowed range of the second byte.
inline __attribute__((always_inline)) const unsigned char* endOfSequence(
    const unsigned char* p, const unsigned char* end) {
  const unsigned char lead = *p;
  std::size_t length = 0;
  unsigned char secondMin = 0x80;
  unsigned char secondMax = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) secondMin = 0xA0;
    if (lead == 0xED) secondMax = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) secondMin = 0x90;
    if (lead == 0xF4) secondMax = 0x8F;
  } else {
    return nullptr;
  }
  if (static_cast<std::size_t>(end - p) < length) return nullptr;
  if (p[1] < secondMin || p[1] > secondMax) return nullptr;
  for (std::size_t i = 2; i < length; ++i) {
    if (!isContinuation(p[i])) return nullptr;
  }
  return p + length;
}

// Eight bytes at a time; these tests are exact, not just likely.
constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;

inline std::uint64_t loadWord(const unsigned char* p) {
  std::uint64_t word;
  std::memcpy(&word, p, sizeof word);
  return word;
}

constexpr std::uint64_t hasZeroByte(std::uint64_t word) {
  return (word - kOnes) & ~word & kHighBits;
}

// Whether no byte is non-ASCII, a control character, '"', '\' or '/'.
constexpr bool wordIsPlain(std::uint64_t word) {
  const std::uint64_t controls = (word - kOnes * 0x20) & ~word & kHighBits;
  return ((word & kHighBits) | controls | hasZeroByte(word ^ (kOnes * '"')) |
          hasZeroByte(word ^ (kOnes * '\\')) | hasZeroByte(word ^ (kOnes * '/'))) == 0;
}

// Sixteen bytes as one vector of the compiler's (SSE2 on x86-64, NEON on
// Arm), so that a block costs a handful of instructions.
using Block = signed char __attribute__((vector_size(16)));
using BlockWords = std::uint64_t __attribute__((vector_size(16)));

inline Block loadBlock(const unsigned char* p) {
  Block block;
  std::memcpy(&block, p, sizeof block);
  return block;
}

// The bytes of a block that are not plain, all ones each, as two words.
inline BlockWords specialLanes(Block block) {
  // As signed bytes, every non-ASCII byte is below 0x20 too.
  const Block special = (block < 0x20) | (block == '"') | (block == '\\') | (block == '/');
  BlockWords words;
  std::memcpy(&words, &special, sizeof words);
  return words;
}

// The first of the sixteen bytes that is set in `lanes`, one at least.
inline std::size_t firstLane(BlockWords lanes) {
  const std::size_t half = lanes[0] != 0 ? 0 : 1;
  const int before = std::endian::native == std::endian::big ? std::countl_zero(lanes[half])
                                                             : std::countr_zero(lanes[half]);
  return half * 8 + static_cast<std::size_t>(before) / 8;
}

constexpr bool byteIsPlain(unsigned char byte) { return byte < 0x80 && kEscapeLetter[byte] == 0; }

// Copies `size` bytes without a library call: the texts of a snapshot are
// short, and for them a call to memcpy costs more than the copying.
inline __attribute__((always_inline)) void copyBytes(char* out, const unsigned char* p,
                                                     std::size_t size) {
  if (size >= 16) {
    for (std::size_t i = 0; i + 16 < size; i += 16) std::memcpy(out + i, p + i, 16);
    std::memcpy(out + size - 16, p + size - 16, 16);
  } else if (size >= 8) {
    std::memcpy(out, p, 8);
    std::memcpy(out + size - 8, p + size - 8, 8);
  } else if (size >= 4) {
    std::memcpy(out, p, 4);
    std::memcpy(out + size - 4, p + size - 4, 4);
  } else {
    for (std::size_t i = 0; i < size; ++i) out[i] = static_cast<char>(p[i]);
  }
}

// Copies the plain bytes that start the `size` at `p` to `out` and returns how
// many there are, `size` when all are. Each block is tested as it is stored,
// the last one overlapping the one before, so the text is read once; `out`
// may hold more of the text than the count, never more than `size` bytes.
inline __attribute__((always_inline)) std::size_t copyPlain(const unsigned char* p,
                                                            std::size_t size, char* out) {
  if (size >= 16) {
    for (std::size_t i = 0; i + 16 < size; i += 16) {
      const Block block = loadBlock(p + i);
      std::memcpy(out + i, &block, sizeof block);
      const BlockWords lanes = specialLanes(block);
      if ((lanes[0] | lanes[1]) != 0) return i + firstLane(lanes);
    }
    const Block last = loadBlock(p + size - 16);
    std::memcpy(out + size - 16, &last, sizeof last);
    const BlockWords lanes = specialLanes(last);
    return (lanes[0] | lanes[1]) == 0 ? size : size - 16 + firstLane(lanes);
  }
  if (size >= 8 && wordIsPlain(loadWord(p)) && wordIsPlain(loadWord(p + size - 8))) {
    std::memcpy(out, p, 8);
    std::memcpy(out + size - 8, p + size - 8, 8);
    return size;
  }
  std::size_t i = 0;
  for (; i < size && byteIsPlain(p[i]); ++i) out[i] = static_cast<char>(p[i]);
  return i;
}

inline bool copyIfPlain(const unsigned char* p, std::size_t size, char* out) {
  return copyPlain(p, size, out) == size;
}

// Whether `size` bytes at `p` are well-formed UTF-8: the one check of the
// texts that leave the bridge.
inline bool isUtf8(const unsigned char* p, std::size_t size) {
  const unsigned char* const end = p + size;
  while (p != end) {
    while (end - p >= 8 && (loadWord(p) & kHighBits) == 0) p += 8;
    if (p == end) break;
    if (*p < 0x80) {
      ++p;
    } else if ((p = endOfSequence(p, end)) == nullptr) {
      return false;
    }
  }
  return true;
}

// Whether a JSON string holds these bytes as they are: UTF-8 without a byte
// to escape.
inline bool holdsAsIs(const unsigned char* p, std::size_t size) {
  return std::none_of(p, p + size, [](unsigned char c) { return kEscapeLetter[c] != 0; }) &&
         isUtf8(p, size);
}

}  // namespace vantrel::json_text
