// Task memory: the heap that callers and callees share across interfaces.
#include <platform/Faults.h>
#include <win/com.h>

#include <cstdlib>

namespace {

// The platform hands out a distinct block even for zero bytes.
size_t AtLeastOneByte(SIZE_T size) { return size == 0 ? 1 : static_cast<size_t>(size); }

}  // namespace

PLATFORM_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) {
  if (platform::ShouldFailAllocation(platform::AllocationKind::TaskMemory)) {
    return nullptr;
  }
  return std::malloc(AtLeastOneByte(size));
}

PLATFORM_API LPVOID WINAPI CoTaskMemRealloc(LPVOID block, SIZE_T size) {
  if (block != nullptr && size == 0) {
    std::free(block);
    return nullptr;
  }
  if (platform::ShouldFailAllocation(platform::AllocationKind::TaskMemory)) {
    return nullptr;  // the old block stays valid, as with realloc
  }
  return std::realloc(block, AtLeastOneByte(size));
}

PLATFORM_API void WINAPI CoTaskMemFree(LPVOID block) { std::free(block); }
