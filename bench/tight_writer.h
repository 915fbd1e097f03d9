// The reference figure for the bridge's own conversion and encoding: the same
// document written straight from the platform's values into a buffer that has
// room, by the plainest fast code (no records, no sizing pass, no UTF-8 checks).
#pragma once

#include <cstddef>

#include "platform.h"

namespace vantrel::bench {

// Writes the snapshot of [start, end) at `out`, which must have room; returns
// the number of bytes written.
std::size_t writeTightSnapshot(platform::Instant start, platform::Instant end, char* out);

}  // namespace vantrel::bench
