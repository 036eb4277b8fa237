// Counts the heap blocks and bytes the process holds, through malloc, calloc, realloc and free
// replaced in the test executable (allocation_counter.cpp). Not built under the sanitizers, which
// replace the allocator themselves; LeakSanitizer watches the heap there instead.
#pragma once

#include <cstdint>

namespace hardening {

struct HeapUse {
  int64_t blocks;
  int64_t bytes;
  int64_t allocations;  // calls that returned a block, since the start
};

// Whether the counting allocator is linked in.
bool heapCounted();
HeapUse heapUse();

// Makes the allocation after the next `n` ones fail (return null), once; a negative n disarms.
// Returns how many allocations were made since the last call, failed ones included.
int64_t failAllocationAfter(int64_t n);

}  // namespace hardening
