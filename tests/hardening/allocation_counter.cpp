#include "tests/hardening/allocation_counter.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstddef>

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void __libc_free(void* p);
}

namespace {

std::atomic<int64_t> liveBlocks{0};
std::atomic<int64_t> liveBytes{0};
std::atomic<int64_t> allocationCalls{0};
std::atomic<int64_t> untilFailure{-1};  // allocations to let through before one fails
std::atomic<int64_t> attempts{0};

// True when this allocation is the one to fail; it then sets errno as a failing malloc does.
bool injectFailure() {
  attempts.fetch_add(1, std::memory_order_relaxed);
  if (untilFailure.load(std::memory_order_relaxed) < 0) return false;
  if (untilFailure.fetch_sub(1, std::memory_order_relaxed) != 0) return false;
  errno = ENOMEM;
  return true;
}

void* counted(void* p) {
  if (p != nullptr) {
    liveBlocks.fetch_add(1, std::memory_order_relaxed);
    liveBytes.fetch_add(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
    allocationCalls.fetch_add(1, std::memory_order_relaxed);
  }
  return p;
}

void released(void* p) {
  if (p == nullptr) return;
  liveBlocks.fetch_sub(1, std::memory_order_relaxed);
  liveBytes.fetch_sub(static_cast<int64_t>(malloc_usable_size(p)), std::memory_order_relaxed);
}

}  // namespace

// The replacements every library of the process binds to (the executable exports them).
extern "C" {
void* malloc(std::size_t size) {
  return injectFailure() ? nullptr : counted(__libc_malloc(size));
}
void* calloc(std::size_t count, std::size_t size) {
  return injectFailure() ? nullptr : counted(__libc_calloc(count, size));
}
void* realloc(void* p, std::size_t size) {
  if (injectFailure()) return nullptr;
  if (size == 0 && p != nullptr) {
    released(p);
    return __libc_realloc(p, size);
  }
  released(p);
  void* q = __libc_realloc(p, size);
  if (q == nullptr && p != nullptr) {
    counted(p);  // the old block is still held
    allocationCalls.fetch_sub(1, std::memory_order_relaxed);
    return nullptr;
  }
  return counted(q);
}
void free(void* p) {
  released(p);
  __libc_free(p);
}
}

namespace hardening {

bool heapCounted() { return true; }

HeapUse heapUse() {
  return {liveBlocks.load(), liveBytes.load(), allocationCalls.load()};
}

int64_t failAllocationAfter(int64_t n) {
  untilFailure.store(n < 0 ? -1 : n);
  return attempts.exchange(0);
}

}  // namespace hardening
