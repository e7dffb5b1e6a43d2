#include "CEventObject.h"

namespace platform::kernel {

void CEventObject::Set() {
  std::lock_guard<std::mutex> lock(DispatcherLock());
  m_signalled = true;
  WakeWaitersLocked();
}

void CEventObject::Reset() {
  std::lock_guard<std::mutex> lock(DispatcherLock());
  m_signalled = false;
}

void CEventObject::OnWaitSatisfiedLocked() {
  if (!m_manualReset) {
    m_signalled = false;
  }
}

}  // namespace platform::kernel
