#include "allocation_count.h"

#include <malloc.h>

#include <atomic>
#include <cstddef>

// The C library's allocator under its internal names (glibc exports them for
// exactly this kind of wrapping).
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
}

namespace vantrel::bench {
namespace {

std::atomic<std::uint64_t> allocations{0};
std::atomic<std::uint64_t> bytes{0};

// A load and a store, not a locked add: the benchmark allocates on one thread,
// and a locked add on every allocation would distort the figures it counts.
void count(std::size_t size) {
  allocations.store(allocations.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
  bytes.store(bytes.load(std::memory_order_relaxed) + size, std::memory_order_relaxed);
}

}  // namespace

AllocationCount allocationsSoFar() {
  return {allocations.load(std::memory_order_relaxed), bytes.load(std::memory_order_relaxed)};
}

}  // namespace vantrel::bench

// Default visibility: the shared libraries (libstdc++, libc itself) must bind
// to these, not only this binary.
#define VANTREL_EXPORTED __attribute__((visibility("default")))

extern "C" {

VANTREL_EXPORTED void* malloc(std::size_t size) noexcept {
  vantrel::bench::count(size);
  return __libc_malloc(size);
}

VANTREL_EXPORTED void* calloc(std::size_t count, std::size_t size) noexcept {
  vantrel::bench::count(count * size);
  return __libc_calloc(count, size);
}

// Only what a block grows by counts as allocated bytes.
VANTREL_EXPORTED void* realloc(void* pointer, std::size_t size) noexcept {
  const std::size_t old = pointer == nullptr ? 0 : malloc_usable_size(pointer);
  vantrel::bench::count(size > old ? size - old : 0);
  return __libc_realloc(pointer, size);
}

VANTREL_EXPORTED void free(void* pointer) noexcept { __libc_free(pointer); }

}  // extern "C"
