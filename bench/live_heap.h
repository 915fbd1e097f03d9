// Live heap bytes of the whole process and their peak: this binary replaces the
// C library's allocation functions with forwarders that count each block's
// usable size (operator new ends in malloc as well).
#pragma once

#include <cstddef>

namespace vantrel::bench {

std::size_t liveHeapBytes();
// The most live bytes since the last resetHeapPeak().
std::size_t heapPeakBytes();
void resetHeapPeak();

}  // namespace vantrel::bench
