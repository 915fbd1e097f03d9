// findConferenceLink on arbitrary text: it never crashes, and a link it finds
// is an https link that, searched alone, is found whole again (so it is no
// piece of a longer link, and a decoded redirect's link still names a
// meeting service's host).
#include <string>
#include <string_view>

#include "conference_link.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using vantrel::fuzz::check;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const auto link = vantrel::findConferenceLink(text);
  if (!link) return 0;
  check(link->size() > 8 && (*link)[5] == ':', "a link starts with its scheme");
  check(vantrel::findConferenceLink(*link) == link, "a link found is found whole again");
  return 0;
}
