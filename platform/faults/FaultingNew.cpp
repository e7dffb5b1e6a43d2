// Linked into test executables only: the executable's nothrow operator new
// takes precedence over every shared object's, the module's included (the
// dynamic list exports it so that modules loaded later bind to it too).
#include <platform/Faults.h>

#include <new>

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  if (platform::ShouldFailAllocation(platform::AllocationKind::HeapObject)) {
    return nullptr;
  }
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (platform::ShouldFailAllocation(platform::AllocationKind::HeapObject)) {
    return nullptr;
  }
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}
