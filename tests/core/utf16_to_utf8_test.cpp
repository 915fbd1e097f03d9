#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "utf16_to_utf8.h"

namespace vantrel {
namespace {

std::string convert(const std::vector<std::uint16_t>& units) {
  std::string out;
  appendUtf8FromUtf16(units.data(), units.size(), out);
  return out;
}

TEST(Utf16ToUtf8Test, EncodesEveryLengthAndReplacesUnpairedSurrogates) {
  const struct {
    std::vector<std::uint16_t> units;
    std::string utf8;
  } cases[] = {
      {{}, ""},
      {{'S', 't', 'a', 'n', 'd', '-', 'u', 'p'}, "Stand-up"},
      {{0x0000, 'x'}, std::string("\0x", 2)},  // an inner NUL is kept, not an end
      {{0x007F, 0x0080, 0x07FF, 0x0800}, "\x7F\u0080\u07FF\u0800"},
      {{0x00E9, 0x2192, 0xFFFF}, "\u00E9\u2192\uFFFF"},
      {{0xD83D, 0xDCC5}, "\U0001F4C5"},
      {{0xD800, 0xDC00, 0xDBFF, 0xDFFF}, "\U00010000\U0010FFFF"},
      {{'a', 0xD83D, 'b'}, "a\uFFFDb"},           // high surrogate without its low half
      {{'a', 0xDCC5, 'b'}, "a\uFFFDb"},           // low surrogate alone
      {{0xDCC5, 0xD83D}, "\uFFFD\uFFFD"},         // halves in the wrong order
      {{0xD83D, 0xD83D, 0xDCC5}, "\uFFFD\U0001F4C5"},
      {{'x', 0xD83D}, "x\uFFFD"},                 // cut off at the end
  };
  for (const auto& c : cases) EXPECT_EQ(convert(c.units), c.utf8);
}

TEST(Utf16ToUtf8Test, AppendsToWhatIsThere) {
  std::string out = "Room ";
  const std::uint16_t units[] = {'4', 0x00B7, 'B'};
  appendUtf8FromUtf16(units, 3, out);
  EXPECT_EQ(out, "Room 4\u00B7B");
}

// Converts through the piecewise path, fetching from `units` as NSString's
// getCharacters:range: would, and checks that the pieces cover the text once.
std::string convertInPieces(const std::vector<std::uint16_t>& units) {
  std::string out = "stale";
  std::size_t next = 0;
  assignUtf8FromUtf16Pieces(
      units.size(),
      [&](std::uint16_t* buffer, std::size_t at, std::size_t count) {
        EXPECT_LE(at, next);  // a piece may start again at a held-back high surrogate
        EXPECT_LE(count, kUtf16Piece);
        EXPECT_LE(at + count, units.size());
        std::copy_n(units.begin() + at, count, buffer);
        next = at + count;
      },
      out);
  EXPECT_EQ(next, units.size());
  return out;
}

TEST(Utf16ToUtf8Test, PiecesKeepSurrogatePairsWhole) {
  const std::uint16_t kHigh = 0xD83D, kLow = 0xDCC5;  // U+1F4C5
  const std::string kPair = "\U0001F4C5";
  for (std::size_t length : {std::size_t{0}, std::size_t{1}, kUtf16Piece - 1, kUtf16Piece,
                             kUtf16Piece + 1, 3 * kUtf16Piece + 7}) {
    std::vector<std::uint16_t> units(length, 'a');
    EXPECT_EQ(convertInPieces(units), std::string(length, 'a'));
  }
  for (std::size_t split : {kUtf16Piece - 1, 2 * kUtf16Piece - 2, 2 * kUtf16Piece - 1}) {
    std::vector<std::uint16_t> units(3 * kUtf16Piece, 'a');
    units[split] = kHigh;
    units[split + 1] = kLow;
    std::string expected(split, 'a');
    expected += kPair;
    expected.append(units.size() - split - 2, 'a');
    EXPECT_EQ(convertInPieces(units), expected) << "pair at " << split;

    units[split + 1] = 'b';  // the high half alone stays one replacement
    expected = std::string(split, 'a') + "\uFFFDb" + std::string(units.size() - split - 2, 'a');
    EXPECT_EQ(convertInPieces(units), expected) << "lone half at " << split;
  }
  std::vector<std::uint16_t> allHigh(kUtf16Piece + 2, kHigh);
  std::string expected;
  for (std::size_t i = 0; i < allHigh.size(); ++i) expected += "\uFFFD";
  EXPECT_EQ(convertInPieces(allHigh), expected);
}

}  // namespace
}  // namespace vantrel
