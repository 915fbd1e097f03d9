// Counts the heap allocations of the whole process: this binary replaces
// malloc, calloc and realloc with counting forwarders to the C library's own
// (operator new ends in malloc as well).
#pragma once

#include <cstdint>

namespace vantrel::bench {

struct AllocationCount {
  std::uint64_t allocations = 0;
  std::uint64_t bytes = 0;
};

AllocationCount allocationsSoFar();

}  // namespace vantrel::bench
