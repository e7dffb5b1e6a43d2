#include <platform/Faults.h>

#include <atomic>

namespace platform {
namespace {

struct FaultCounter {
  std::atomic<int64_t> seen{0};
  std::atomic<int64_t> failAt{0};  // 0: never
  std::atomic<bool> failOnwards{false};
};

FaultCounter g_counters[static_cast<int>(AllocationKind::Count)];

FaultCounter& CounterFor(AllocationKind kind) { return g_counters[static_cast<int>(kind)]; }

void Arm(AllocationKind kind, int64_t n, bool onwards) {
  FaultCounter& counter = CounterFor(kind);
  counter.failAt.store(0);
  counter.seen.store(0);
  counter.failOnwards.store(onwards);
  counter.failAt.store(n > 0 ? n : 0);
}

}  // namespace

void FailNthAllocation(AllocationKind kind, int64_t n) { Arm(kind, n, false); }

void FailAllocationsFrom(AllocationKind kind, int64_t n) { Arm(kind, n, true); }

void ResetAllocationFaults() {
  for (int kind = 0; kind < static_cast<int>(AllocationKind::Count); ++kind) {
    Arm(static_cast<AllocationKind>(kind), 0, false);
  }
}

int64_t AllocationCount(AllocationKind kind) { return CounterFor(kind).seen.load(); }

bool ShouldFailAllocation(AllocationKind kind) {
  FaultCounter& counter = CounterFor(kind);
  const int64_t index = counter.seen.fetch_add(1) + 1;
  const int64_t failAt = counter.failAt.load();
  if (failAt == 0) {
    return false;
  }
  return counter.failOnwards.load() ? index >= failAt : index == failAt;
}

}  // namespace platform
