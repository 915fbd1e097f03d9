// The plain-text tests work in blocks of sixteen and words of eight bytes with
// overlapping ends: a special byte must be found at every position of every
// length, and records must carry which texts a JSON string holds as they are.
#include "json_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge_records.h"

namespace vantrel {
namespace {

bool heldAsIs(const std::string& text) {
  return json_text::holdsAsIs(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

bool isUtf8(const std::string& text) {
  return json_text::isUtf8(reinterpret_cast<const unsigned char*>(text.data()), text.size());
}

TEST(JsonText, FindsASpecialByteAtEveryPositionOfEveryLength) {
  struct Special {
    std::string bytes;
    bool heldAsIs;  // valid UTF-8 with nothing to escape
  };
  const Special specials[] = {{"\"", false}, {"\\", false}, {"/", false}, {"\n", false},
                              {std::string(1, '\0'), false}, {"\x1F", false}, {"é", true},
                              {"🎉", true}};
  for (std::size_t length = 1; length <= 40; ++length) {
    const std::string plain(length, 'a');
    std::vector<char> copy(length, '#');
    ASSERT_TRUE(json_text::copyIfPlain(reinterpret_cast<const unsigned char*>(plain.data()),
                                       length, copy.data()));
    ASSERT_EQ(std::string(copy.begin(), copy.end()), plain);
    ASSERT_TRUE(heldAsIs(plain));
    for (const Special& special : specials) {
      for (std::size_t at = 0; at + special.bytes.size() <= length; ++at) {
        std::string text = plain;
        text.replace(at, special.bytes.size(), special.bytes);
        const auto* p = reinterpret_cast<const unsigned char*>(text.data());
        SCOPED_TRACE("length " + std::to_string(length) + " at " + std::to_string(at));
        EXPECT_FALSE(json_text::copyIfPlain(p, text.size(), copy.data()));
        EXPECT_EQ(json_text::copyPlain(p, text.size(), copy.data()), at);
        EXPECT_EQ(heldAsIs(text), special.heldAsIs);
        EXPECT_TRUE(isUtf8(text));
      }
    }
  }
  for (const char* bad : {"\x80", "\xC0\xAF", "\xE0\x80\xAF", "\xED\xA0\x80", "\xF4\x90\x80\x80",
                          "abc\xE2\x82", "\xF0\x9F\x8E"}) {
    EXPECT_FALSE(isUtf8(bad)) << bad;
    EXPECT_FALSE(isUtf8(std::string(20, 'a') + bad + "z")) << bad;
  }
}

TEST(JsonText, RecordsKnowWhichTextsNeedNoEscaping) {
  const std::string texts[] = {"",       "Room 4",          "2026-03-02T09:00:00.000Z",
                               "a/b",    " \"x\" \\ \t",    "Встреча / 会議 🎉",
                               "Встреча 会議 🎉", "\x01\x1F", std::string(70, 'z') + "/"};
  for (const std::string& text : texts) {
    const BridgeEvent event(text, "cal", text, "2026-03-02T09:00:00.000Z", text, false, text);
    // Written byte for byte when nothing in it needs escaping, ASCII or not.
    EXPECT_EQ((event.plainTexts() & BridgeEvent::kPlainTitle) != 0, heldAsIs(text)) << text;
  }
  const BridgeEvent invalid("\xFF", "cal", "t", "s", "e", false, std::nullopt);
  EXPECT_EQ(invalid.plainTexts() & BridgeEvent::kPlainId, 0);
  EXPECT_NE(invalid.plainTexts() & BridgeEvent::kPlainTitle, 0);
}

}  // namespace
}  // namespace vantrel
