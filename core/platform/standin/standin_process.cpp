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

#include "json_text.h"

namespace vantrel::standin {

std::string validUtf8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* const end = p + bytes.size();
  while (p != end) {
    const unsigned char* next = *p < 0x80 ? p + 1 : json_text::endOfSequence(p, end);
    if (next == nullptr) {
      text += "\xEF\xBF\xBD";
      ++p;
    } else {
      text.append(reinterpret_cast<const char*>(p), static_cast<std::size_t>(next - p));
      p = next;
    }
  }
  return text;
}

#ifdef __APPLE__
// The stand-in on macOS serves only test builds (VANTREL_PLATFORM=standin).
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
