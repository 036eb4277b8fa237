// The sanitizer build's stand-in for allocation_counter.cpp: nothing is counted.
#include "tests/hardening/allocation_counter.h"

namespace hardening {

bool heapCounted() { return false; }
HeapUse heapUse() { return {0, 0, 0}; }
int64_t failAllocationAfter(int64_t) { return 0; }

}  // namespace hardening
