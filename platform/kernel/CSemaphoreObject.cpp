#include "CSemaphoreObject.h"

namespace platform::kernel {

bool CSemaphoreObject::Release(LONG releaseCount, LONG* previousCount) {
  std::lock_guard<std::mutex> lock(DispatcherLock());
  // Compared by subtraction, so a huge release count cannot overflow the sum.
  if (releaseCount > m_maximum - m_count) {
    return false;
  }
  if (previousCount != nullptr) {
    *previousCount = m_count;
  }
  m_count += releaseCount;
  WakeWaitersLocked();
  return true;
}

}  // namespace platform::kernel
