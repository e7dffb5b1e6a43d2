#pragma once

#include "CKernelObject.h"

namespace platform::kernel {

class CSemaphoreObject final : public CKernelObject {
 public:
  CSemaphoreObject(LONG initialCount, LONG maximumCount)
      : CKernelObject(Kind::Semaphore), m_count(initialCount), m_maximum(maximumCount) {}

  // False (and no change) when the count would pass the maximum.
  bool Release(LONG releaseCount, LONG* previousCount);

  bool IsSignalledLocked() const override { return m_count > 0; }
  void OnWaitSatisfiedLocked() override { --m_count; }

 private:
  LONG m_count;  // guarded by the dispatcher lock
  const LONG m_maximum;
};

}  // namespace platform::kernel
