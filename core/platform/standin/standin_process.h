// What the running process really is, for the stand-in store's defaults: the
// program path and arguments that a macOS bundle and process information
// would report.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vantrel::standin {

// The resolved path of the running program; nullopt when it cannot be found.
std::optional<std::string> realExecutablePath();

// The process's own arguments, the program path first.
std::vector<std::string> realProcessArguments();

// `bytes` with every byte that is not part of well-formed UTF-8 replaced by
// U+FFFD, since paths and arguments on Linux are bytes, not text.
std::string validUtf8(std::string_view bytes);

}  // namespace vantrel::standin
