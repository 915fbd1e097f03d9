// parseIso on arbitrary bytes: it never crashes, and whatever it accepts is an
// instant that the output form writes and parses back to the same value, to
// the millisecond. An input of 0xFF and eight more bytes is an instant instead
// (any double: NaN, infinities, far beyond the years 0000 to 9999), whose text
// must parse back just the same.
#include <cmath>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "iso_date.h"

namespace {

using vantrel::Instant;
using vantrel::isoFormatter;
using vantrel::parseIso;
using vantrel::fuzz::check;

constexpr Instant kFirstInstant = -62'167'219'200.0;  // 0000-01-01T00:00:00Z
constexpr Instant kLastInstant = 253'402'300'799.999;  // 9999-12-31T23:59:59.999Z

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// YYYY-MM-DDTHH:MM:SS.mmmZ
bool isOutputForm(std::string_view text) {
  constexpr std::string_view kShape = "0000-00-00T00:00:00.000Z";
  if (text.size() != kShape.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (kShape[i] == '0' ? !isDigit(text[i]) : text[i] != kShape[i]) return false;
  }
  return true;
}

// Writes `instant` and parses the text back; returns what it parsed to.
Instant writeAndParseBack(Instant instant) {
  const std::string text = isoFormatter().stringFromDate(instant);
  check(isOutputForm(text), "every written text has the output form");
  const auto again = parseIso(text);
  check(again.has_value(), "every written text parses");
  check(isoFormatter().stringFromDate(*again) == text, "a written text parses to what writes it");
  // Exactly k / 1000 for a whole k: far from 1970, *again * 1000 itself is
  // a few thousandths off k, since the double cannot hold it any closer.
  check(*again == std::round(*again * 1000.0) / 1000.0, "a written text names a whole millisecond");
  return *again;
}

void checkParsedText(std::string_view text) {
  const auto instant = parseIso(text);
  if (!instant) return;
  check(std::isfinite(*instant) && *instant >= kFirstInstant && *instant <= kLastInstant + 1e-3,
        "accepted texts name instants of the years 0000 to 9999");
  check(text.size() >= 20 && text[10] == 'T', "accepted texts are date-times");
  const Instant written = writeAndParseBack(*instant);
  // Half a millisecond of rounding, and the double's own resolution near 9999.
  check(std::fabs(written - *instant) <= 0.0005 + 1e-4,
        "the written text names the accepted instant to the millisecond");
  if (isOutputForm(text)) {
    check(isoFormatter().stringFromDate(*instant) == text, "a text of the output form writes itself");
  }
}

void checkWrittenInstant(Instant instant) {
  const Instant written = writeAndParseBack(instant);
  if (std::isnan(instant)) {
    check(written == 0, "NaN is written as the epoch");
  } else if (instant < kFirstInstant) {
    check(written == kFirstInstant, "instants before 0000 are written as its first millisecond");
  } else if (instant > kLastInstant + 0.0005) {
    check(written == kLastInstant, "instants after 9999 are written as its last millisecond");
  } else {
    check(std::fabs(written - instant) <= 0.0005 + 1e-4, "instants are written to the millisecond");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 1 + sizeof(Instant) && data[0] == 0xFF) {
    Instant instant;
    std::memcpy(&instant, data + 1, sizeof instant);
    checkWrittenInstant(instant);
    return 0;
  }
  checkParsedText(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
