// What the fuzz targets share: reading an input as a sequence of small choices
// and texts, so that one byte string describes a whole call, and failing loudly.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace vantrel::fuzz {

// A broken property ends the run as a crash, which libFuzzer keeps as an input
// and the corpus replay reports as a failed test.
inline void check(bool holds, const char* property) {
  if (holds) return;
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
}

class FuzzInput {
 public:
  FuzzInput(const std::uint8_t* data, std::size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}

  std::uint8_t byte() {
    if (rest_.empty()) return 0;
    const auto value = static_cast<std::uint8_t>(rest_.front());
    rest_.remove_prefix(1);
    return value;
  }

  // The bytes up to the next NUL (dropped) or the end.
  std::string_view text() {
    const std::size_t end = rest_.find('\0');
    const std::string_view taken = rest_.substr(0, end);
    rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
    return taken;
  }

  // A length byte, then that many bytes (fewer at the end): any bytes at all.
  std::string_view sizedText() {
    const std::size_t size = std::min<std::size_t>(byte(), rest_.size());
    const std::string_view taken = rest_.substr(0, size);
    rest_.remove_prefix(size);
    return taken;
  }

  bool empty() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

}  // namespace vantrel::fuzz
