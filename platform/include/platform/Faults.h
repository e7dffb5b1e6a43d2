// Test hook: make the Nth allocation of one kind fail, so that every
// out-of-memory path can be driven on purpose.
#pragma once

#include <cstdint>

namespace platform {

enum class AllocationKind : int {
  TaskMemory = 0,      // CoTaskMemAlloc / CoTaskMemRealloc
  CommittedPages = 1,  // VirtualAlloc with MEM_COMMIT
  HeapObject = 2,      // operator new (std::nothrow), in executables that link the faulting new
  Count = 3
};

// From now on, the nth allocation of this kind (1 = the next one) fails;
// 0 turns failing off. Counting restarts at every call.
__attribute__((visibility("default"))) void FailNthAllocation(AllocationKind kind, int64_t n);

// Every allocation of this kind fails from the nth on (1 = from the next one).
__attribute__((visibility("default"))) void FailAllocationsFrom(AllocationKind kind, int64_t n);

// Turns failing off for every kind and restarts the counts.
__attribute__((visibility("default"))) void ResetAllocationFaults();

// Allocations of this kind seen since the last reset or arming.
__attribute__((visibility("default"))) int64_t AllocationCount(AllocationKind kind);

// Called by each allocator before it allocates: true means "fail this one".
__attribute__((visibility("default"))) bool ShouldFailAllocation(AllocationKind kind);

}  // namespace platform
