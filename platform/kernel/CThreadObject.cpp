#include "CThreadObject.h"

#include <atomic>

namespace platform::kernel {

namespace {
thread_local DWORD t_threadId = 0;
}

DWORD CThreadObject::ExitCode() const {
  std::lock_guard<std::mutex> lock(DispatcherLock());
  return m_exitCode;
}

void CThreadObject::Finish(DWORD exitCode) {
  std::lock_guard<std::mutex> lock(DispatcherLock());
  m_exitCode = exitCode;
  m_finished = true;
  WakeWaitersLocked();
}

DWORD AllocateThreadId() {
  // Multiples of four and never zero, as the platform's are; 2^30 threads before a repeat.
  static std::atomic<DWORD> next{4};
  DWORD id = next.fetch_add(4);
  while (id == 0) {
    id = next.fetch_add(4);
  }
  return id;
}

void AdoptThreadId(DWORD threadId) { t_threadId = threadId; }

DWORD CurrentThreadId() {
  if (t_threadId == 0) {
    t_threadId = AllocateThreadId();
  }
  return t_threadId;
}

}  // namespace platform::kernel
