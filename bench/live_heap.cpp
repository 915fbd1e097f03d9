#include "live_heap.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>

// The C library's allocator under its internal names (glibc exports them for
// exactly this kind of wrapping).
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
void __libc_free(void* pointer);
}

namespace vantrel::bench {
namespace {

std::atomic<std::size_t> live{0};
std::atomic<std::size_t> peak{0};

void added(void* block) {
  if (block == nullptr) return;
  const std::size_t now = live.fetch_add(malloc_usable_size(block)) + malloc_usable_size(block);
  std::size_t seen = peak.load();
  while (now > seen && !peak.compare_exchange_weak(seen, now)) {
  }
}

void removed(void* block) {
  if (block != nullptr) live.fetch_sub(malloc_usable_size(block));
}

}  // namespace

std::size_t liveHeapBytes() { return live.load(); }
std::size_t heapPeakBytes() { return peak.load(); }
void resetHeapPeak() { peak.store(live.load()); }

}  // namespace vantrel::bench

// Default visibility: the shared libraries (libstdc++, libc itself) must bind
// to these, not only this binary.
#define VANTREL_EXPORTED __attribute__((visibility("default")))

using vantrel::bench::added;
using vantrel::bench::removed;

extern "C" {

VANTREL_EXPORTED void* malloc(std::size_t size) noexcept {
  void* block = __libc_malloc(size);
  added(block);
  return block;
}

VANTREL_EXPORTED void* calloc(std::size_t count, std::size_t size) noexcept {
  void* block = __libc_calloc(count, size);
  added(block);
  return block;
}

// A block that grows in place, or that glibc moves by remapping its pages
// (blocks it got from mmap), costs what it grows by; one that is copied
// costs both blocks at once, for a moment.
VANTREL_EXPORTED void* realloc(void* pointer, std::size_t size) noexcept {
  const std::size_t old = pointer == nullptr ? 0 : malloc_usable_size(pointer);
  // glibc's chunk header: bit 1 of the size word marks a block from mmap.
  const bool mapped = pointer != nullptr && (static_cast<std::size_t*>(pointer)[-1] & 2) != 0;
  void* block = __libc_realloc(pointer, size);
  if (block == nullptr && size != 0) return nullptr;  // the old block stays
  if (block != pointer && !mapped) {
    added(block);
    vantrel::bench::live.fetch_sub(old);
  } else {
    vantrel::bench::live.fetch_sub(old);
    added(block);
  }
  return block;
}

VANTREL_EXPORTED void free(void* pointer) noexcept {
  removed(pointer);
  __libc_free(pointer);
}

VANTREL_EXPORTED void* memalign(std::size_t alignment, std::size_t size) noexcept {
  void* block = __libc_memalign(alignment, size);
  added(block);
  return block;
}

VANTREL_EXPORTED void* aligned_alloc(std::size_t alignment, std::size_t size) noexcept {
  return memalign(alignment, size);
}

VANTREL_EXPORTED int posix_memalign(void** into, std::size_t alignment, std::size_t size) noexcept {
  void* block = memalign(alignment, size);
  if (block == nullptr) return ENOMEM;
  *into = block;
  return 0;
}

}  // extern "C"
