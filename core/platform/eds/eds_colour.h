// A calendar's colour as the service's sources hold it: "#rgb", "#rrggbb",
// GDK's older "#rrrgggbbb" and "#rrrrggggbbbb", or CSS's "rgb(r, g, b)" and
// "rgba(r, g, b, a)" with channels 0-255 or percentages, as apps write them.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace vantrel::eds {

// Red, green and blue in 0-1, each at the middle of its 8-bit step so that the
// snapshot's rounding down gives the byte back; nullopt when unparsable.
std::optional<std::vector<double>> colourComponents(std::string_view text);

}  // namespace vantrel::eds
