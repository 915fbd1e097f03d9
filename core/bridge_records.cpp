#include "bridge_records.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "json_text.h"

namespace vantrel {

BridgeEvent::BridgeEvent(std::string_view id, std::string_view calendarId,
                         std::string_view title, std::string_view startIso,
                         std::string_view endIso, bool isAllDay,
                         std::optional<std::string_view> location)
    : isAllDay_(isAllDay), hasLocation_(location.has_value()) {
  const std::array<std::string_view, kParts> parts = {
      id, calendarId, title, startIso, endIso, location.value_or("")};
  std::size_t total = 0;
  for (auto part : parts) total += part.size();
  if (total > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("event texts longer than 4 GiB");
  }
  texts_.resize(total);
  char* out = texts_.data();
  for (std::size_t i = 0; i < kParts; ++i) {
    const auto* text = reinterpret_cast<const unsigned char*>(parts[i].data());
    if (json_text::copyIfPlain(text, parts[i].size(), out)) {
      plainTexts_ |= static_cast<std::uint8_t>(1U << i);
    } else {
      std::memcpy(out, text, parts[i].size());
      // Measured now, while the text is in the cache.
      const std::size_t extra = json_text::escapeBytes(text, parts[i].size());
      escapeBytes_ = extra >= kUnknownEscapeBytes - escapeBytes_
                         ? kUnknownEscapeBytes
                         : static_cast<std::uint32_t>(escapeBytes_ + extra);
    }
    out += parts[i].size();
    ends_[i] = static_cast<std::uint32_t>(out - texts_.data());
  }
}

}  // namespace vantrel
