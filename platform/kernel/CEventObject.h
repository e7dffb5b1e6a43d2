#pragma once

#include "CKernelObject.h"

namespace platform::kernel {

class CEventObject final : public CKernelObject {
 public:
  CEventObject(bool manualReset, bool signalled)
      : CKernelObject(Kind::Event), m_manualReset(manualReset), m_signalled(signalled) {}

  void Set();
  void Reset();

  bool IsSignalledLocked() const override { return m_signalled; }
  // An automatic-reset event lets exactly one wait through per signal.
  void OnWaitSatisfiedLocked() override;

 private:
  const bool m_manualReset;
  bool m_signalled;  // guarded by the dispatcher lock
};

}  // namespace platform::kernel
