#include "bridge_records.h"

#include <limits>
#include <stdexcept>

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
  texts_.reserve(total);
  for (std::size_t i = 0; i < kParts; ++i) {
    texts_.append(parts[i]);
    ends_[i] = static_cast<std::uint32_t>(texts_.size());
  }
}

}  // namespace vantrel
