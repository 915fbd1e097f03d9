#include "standin_process.h"

#ifdef __APPLE__
#include <crt_externs.h>
#include <mach-o/dyld.h>

#include <cstdint>
#include <string>
#endif

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>

namespace vantrel::standin {
namespace {

// Length of the well-formed UTF-8 sequence at the start of `bytes`, or 0.
std::size_t sequenceLength(std::string_view bytes) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const auto continuation = [&](std::size_t i) {
    return i < bytes.size() && (byte(i) & 0xC0) == 0x80;
  };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return continuation(1) ? 2 : 0;
  if (lead >= 0xE0 && lead <= 0xEF) {
    if (!continuation(1) || !continuation(2)) return 0;
    if (lead == 0xE0 && byte(1) < 0xA0) return 0;  // overlong
    if (lead == 0xED && byte(1) > 0x9F) return 0;  // surrogate
    return 3;
  }
  if (lead >= 0xF0 && lead <= 0xF4) {
    if (!continuation(1) || !continuation(2) || !continuation(3)) return 0;
    if (lead == 0xF0 && byte(1) < 0x90) return 0;  // overlong
    if (lead == 0xF4 && byte(1) > 0x8F) return 0;  // beyond U+10FFFF
    return 4;
  }
  return 0;
}

}  // namespace

std::string validUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  while (!bytes.empty()) {
    const std::size_t length = sequenceLength(bytes);
    if (length == 0) {
      text += "\xEF\xBF\xBD";
      bytes.remove_prefix(1);
    } else {
      text.append(bytes.substr(0, length));
      bytes.remove_prefix(length);
    }
  }
  return text;
}

#ifdef __APPLE__
// The stand-in on macOS serves only test builds (VANTREL_STANDIN_ON_MACOS).
std::optional<std::string> realExecutablePath() {
  std::uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::string program(size, '\0');
  if (_NSGetExecutablePath(program.data(), &size) != 0) return std::nullopt;
  const std::unique_ptr<char, decltype(&std::free)> path(realpath(program.c_str(), nullptr),
                                                         &std::free);
  if (!path) return std::nullopt;
  return validUtf8(path.get());
}

std::vector<std::string> realProcessArguments() {
  std::vector<std::string> arguments;
  char** argv = *_NSGetArgv();
  for (int i = 0; i < *_NSGetArgc(); ++i) arguments.push_back(validUtf8(argv[i]));
  return arguments;
}
#else
std::optional<std::string> realExecutablePath() {
  const std::unique_ptr<char, decltype(&std::free)> path(realpath("/proc/self/exe", nullptr),
                                                         &std::free);
  if (!path) return std::nullopt;
  return validUtf8(path.get());
}

std::vector<std::string> realProcessArguments() {
  std::ifstream file("/proc/self/cmdline", std::ios::binary);
  const std::string all{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  // NUL-terminated arguments, one after the other.
  std::vector<std::string> arguments;
  std::size_t begin = 0;
  while (begin < all.size()) {
    std::size_t end = all.find('\0', begin);
    if (end == std::string::npos) end = all.size();
    arguments.push_back(validUtf8(std::string_view(all).substr(begin, end - begin)));
    begin = end + 1;
  }
  return arguments;
}
#endif

}  // namespace vantrel::standin
