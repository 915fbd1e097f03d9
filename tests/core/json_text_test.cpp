// The plain-text tests work in blocks of sixteen and words of eight bytes with
// overlapping ends: a special byte must be found at every position of every
// length, and the sizes records carry must be what the writer measures.
#include "json_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge_records.h"
#include "json_writer.h"

namespace vantrel {
namespace {

std::size_t escapeBytesOf(const std::string& text) {
  return json_text::escapeBytes(reinterpret_cast<const unsigned char*>(text.data()),
                                text.size());
}

TEST(JsonText, FindsASpecialByteAtEveryPositionOfEveryLength) {
  struct Special {
    std::string bytes;
    std::size_t escapeBytes;  // what escaping adds
  };
  const Special specials[] = {{"\"", 1}, {"\\", 1}, {"/", 1}, {"\n", 1},
                              {std::string(1, '\0'), 5}, {"\x1F", 5}, {"é", 0}, {"🎉", 0}};
  for (std::size_t length = 1; length <= 40; ++length) {
    const std::string plain(length, 'a');
    std::vector<char> copy(length, '#');
    ASSERT_TRUE(json_text::isPlain(reinterpret_cast<const unsigned char*>(plain.data()), length));
    ASSERT_TRUE(json_text::copyIfPlain(reinterpret_cast<const unsigned char*>(plain.data()),
                                       length, copy.data()));
    ASSERT_EQ(std::string(copy.begin(), copy.end()), plain);
    ASSERT_EQ(escapeBytesOf(plain), 0u);
    for (const Special& special : specials) {
      for (std::size_t at = 0; at + special.bytes.size() <= length; ++at) {
        std::string text = plain;
        text.replace(at, special.bytes.size(), special.bytes);
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        SCOPED_TRACE("length " + std::to_string(length) + " at " + std::to_string(at));
        EXPECT_FALSE(json_text::isPlain(p, text.size()));
        EXPECT_FALSE(json_text::copyIfPlain(p, text.size(), copy.data()));
        EXPECT_EQ(escapeBytesOf(text), special.escapeBytes);
      }
    }
  }
  for (const char* bad : {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "abc\xE2\x82", "\xF0\x9F\x8E"}) {
    EXPECT_EQ(escapeBytesOf(bad), json_text::kNotUtf8) << bad;
  }
}

TEST(JsonText, RecordsCarryWhatTheWriterMeasures) {
  const std::string texts[] = {"",       "Room 4",          "2026-03-02T09:00:00.000Z",
                               "a/b",    " \"x\" \\ \t",    "Встреча / 会議 🎉",
                               "\x01\x1F", std::string(70, 'z') + "/"};
  for (const std::string& text : texts) {
    for (bool withLocation : {false, true}) {
      const BridgeEvent event(text, "cal", text, "2026-03-02T09:00:00.000Z", text, false,
                              withLocation ? std::optional<std::string_view>(text) : std::nullopt);
      const std::size_t written = encodeSnapshot(BridgeSnapshot({}, {event})).size();
      EXPECT_EQ(snapshotJsonSize(BridgeSnapshot({}, {event})), written) << text;
      ASSERT_TRUE(event.jsonEscapeBytes().has_value());
      const std::size_t expectedEscapes =
          (withLocation ? 4 : 3) * escapeBytesOf(text);  // id, title, end, location
      EXPECT_EQ(*event.jsonEscapeBytes(), expectedEscapes) << text;
      // Written byte for byte when nothing in it needs escaping, ASCII or not.
      EXPECT_EQ((event.plainTexts() & BridgeEvent::kPlainTitle) != 0, escapeBytesOf(text) == 0)
          << text;
    }
  }
  const BridgeEvent invalid("\xFF", "cal", "t", "s", "e", false, std::nullopt);
  EXPECT_FALSE(invalid.jsonEscapeBytes().has_value());
}

}  // namespace
}  // namespace vantrel
