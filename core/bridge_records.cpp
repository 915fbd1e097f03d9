#include "bridge_records.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "json_text.h"

namespace vantrel {

std::shared_ptr<char> BridgeTextPool::allocate(std::size_t bytes) {
  if (bytes > size_ - used_) {
    size_ = std::max(bytes, kBlockBytes);
    block_ = std::make_shared_for_overwrite<char[]>(size_);
    used_ = 0;
  }
  char* const piece = block_.get() + used_;
  used_ += bytes;
  return {block_, piece};
}

BridgeEvent::BridgeEvent(BridgeTextPool* pool, std::string_view id,
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
  std::shared_ptr<char> texts;
  if (pool != nullptr) {
    texts = pool->allocate(total);
  } else {
    const auto own = std::make_shared_for_overwrite<char[]>(total);
    texts = {own, own.get()};
  }
  char* out = texts.get();
  for (std::size_t i = 0; i < kParts; ++i) {
    const auto* text = reinterpret_cast<const unsigned char*>(parts[i].data());
    // Found now, while the text is in the cache.
    const std::size_t plain = json_text::copyPlain(text, parts[i].size(), out);
    if (plain != parts[i].size()) std::memcpy(out + plain, text + plain, parts[i].size() - plain);
    if (plain == parts[i].size() || json_text::holdsAsIs(text + plain, parts[i].size() - plain)) {
      plainTexts_ |= static_cast<std::uint8_t>(1U << i);
    }
    out += parts[i].size();
    ends_[i] = static_cast<std::uint32_t>(out - texts.get());
  }
  texts_ = std::move(texts);
}

}  // namespace vantrel
