// A waitable object of the kernel: events, semaphores and threads share one
// dispatcher lock, so a wait on several objects sees them all at one instant.
#pragma once

#include <win/kernel.h>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

namespace platform::kernel {

// The one lock behind every signalled state; held only for short bookkeeping.
std::mutex& DispatcherLock();

// One waiting thread; signalling an object wakes every block registered on it.
struct WaitBlock {
  std::condition_variable wake;
};

class CKernelObject {
 public:
  enum class Kind { Event, Semaphore, Thread };

  explicit CKernelObject(Kind kind) : m_kind(kind) {}
  virtual ~CKernelObject() = default;
  CKernelObject(const CKernelObject&) = delete;
  CKernelObject& operator=(const CKernelObject&) = delete;

  Kind kind() const { return m_kind; }

  // The members below require the dispatcher lock.
  virtual bool IsSignalledLocked() const = 0;
  // A wait that this object satisfied takes what it consumes (a count, an auto reset).
  virtual void OnWaitSatisfiedLocked() {}
  void AddWaiterLocked(WaitBlock* block);
  void RemoveWaiterLocked(WaitBlock* block);
  void WakeWaitersLocked();

 private:
  const Kind m_kind;
  std::vector<WaitBlock*> m_waiters;  // borrowed: each block outlives its registration
};

// Waits for one (waitAll false) or all of the objects; the platform's WAIT_* result.
DWORD WaitForObjects(const std::vector<std::shared_ptr<CKernelObject>>& objects, bool waitAll,
                     DWORD milliseconds);

}  // namespace platform::kernel
