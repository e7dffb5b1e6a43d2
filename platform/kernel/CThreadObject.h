#pragma once

#include "CKernelObject.h"

namespace platform::kernel {

// Shared by the thread's handles and the running thread itself, so closing the
// last handle neither ends the thread nor frees what it still signals.
class CThreadObject final : public CKernelObject {
 public:
  explicit CThreadObject(DWORD threadId) : CKernelObject(Kind::Thread), m_threadId(threadId) {}

  DWORD threadId() const { return m_threadId; }
  // STILL_ACTIVE until the thread has ended.
  DWORD ExitCode() const;
  void Finish(DWORD exitCode);

  bool IsSignalledLocked() const override { return m_finished; }

 private:
  const DWORD m_threadId;
  bool m_finished = false;  // guarded by the dispatcher lock
  DWORD m_exitCode = STILL_ACTIVE;
};

// The calling thread's identifier; threads started by CreateThread get theirs in advance.
DWORD CurrentThreadId();
DWORD AllocateThreadId();
void AdoptThreadId(DWORD threadId);

}  // namespace platform::kernel
