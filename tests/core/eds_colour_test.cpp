#include <gtest/gtest.h>

#include <string>

#include "eds_colour.h"
#include "snapshot_reader.h"

namespace vantrel {
namespace {

// Through the snapshot's own conversion, so a channel that rounds to the byte
// below (200/255 * 255 is 199.99...) shows.
TEST(EdsColourTest, EveryFormTheServiceHoldsGivesTheSnapshotsHex) {
  const struct {
    const char* text;
    const char* hex;  // nullptr: unparsable, so absent
  } cases[] = {
      {"#c8c8c8", "#C8C8C8"},
      {"#3465A4", "#3465A4"},
      {"#fff", "#FFFFFF"},
      {"#a1b", "#AA11BB"},
      {"#ffff80800000", "#FF8000"},
      {"#123456789", "#124578"},
      {"rgb(200,100,0)", "#C86400"},
      {" rgba(1, 2, 255, 0.5) ", "#0102FF"},
      {"rgb(100%, 50%, 0%)", "#FF8000"},
      {"", nullptr},
      {"#12345", nullptr},
      {"#gg0000", nullptr},
      {"rgb(256,0,0)", nullptr},
      {"rgb(1,2)", nullptr},
      {"rgb(1,2,3,4)", nullptr},
      {"rgba(1,2,3)", nullptr},
      {"red", nullptr},
  };
  for (const auto& c : cases) {
    const auto components = eds::colourComponents(c.text);
    if (c.hex == nullptr) {
      EXPECT_FALSE(components.has_value()) << c.text;
    } else {
      EXPECT_EQ(hexColor(components), c.hex) << c.text;
    }
  }
}

}  // namespace
}  // namespace vantrel
