#include "bridge_records.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "json_text.h"

namespace vantrel {

char* BridgeTextArena::allocate(std::size_t bytes) {
  if (bytes > left_) {
    const std::size_t size = std::max(bytes, kBlockBytes);
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(size));
    next_ = blocks_.back().get();
    left_ = size;
  }
  char* room = next_;
  next_ += bytes;
  left_ -= bytes;
  return room;
}

BridgeEvent::BridgeEvent(BridgeTextArena* arena, std::string_view id,
                         std::string_view calendarId, std::string_view title,
                         std::string_view startIso, std::string_view endIso, bool isAllDay,
                         std::optional<std::string_view> location)
    : isAllDay_(isAllDay), hasLocation_(location.has_value()) {
  const std::array<std::string_view, kParts> parts = {
      id, calendarId, title, startIso, endIso, location.value_or("")};
  std::size_t total = 0;
  for (auto part : parts) total += part.size();
  if (total > std::numeric_limits<std::uint32_t>::max()) {
    throw std::length_error("event texts longer than 4 GiB");
  }
  if (arena != nullptr) {
    texts_ = {arena->allocate(total), BridgeTextsDeleter{.owned = false}};
  } else {
    texts_.reset(new char[total]);
  }
  char* out = texts_.get();
  for (std::size_t i = 0; i < kParts; ++i) {
    const auto* text = reinterpret_cast<const unsigned char*>(parts[i].data());
    // Found now, while the text is in the cache.
    if (json_text::copyIfPlain(text, parts[i].size(), out)) {
      plainTexts_ |= static_cast<std::uint8_t>(1U << i);
    } else {
      std::memcpy(out, text, parts[i].size());
      if (json_text::holdsAsIs(text, parts[i].size())) {
        plainTexts_ |= static_cast<std::uint8_t>(1U << i);
      }
    }
    out += parts[i].size();
    ends_[i] = static_cast<std::uint32_t>(out - texts_.get());
  }
}

BridgeEvent::BridgeEvent(const BridgeEvent& other)
    : texts_(new char[other.textBytes()]),
      ends_(other.ends_),
      isAllDay_(other.isAllDay_),
      hasLocation_(other.hasLocation_),
      plainTexts_(other.plainTexts_) {
  if (other.textBytes() != 0) std::memcpy(texts_.get(), other.texts_.get(), other.textBytes());
}

BridgeEvent& BridgeEvent::operator=(const BridgeEvent& other) {
  if (this != &other) *this = BridgeEvent(other);
  return *this;
}

}  // namespace vantrel
