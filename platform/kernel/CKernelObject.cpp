#include "CKernelObject.h"

#include <platform/BlockedWaits.h>

#include <algorithm>
#include <chrono>

namespace platform::kernel {

std::mutex& DispatcherLock() {
  // Never destroyed: detached threads may still finish while the process exits.
  static std::mutex* lock = new std::mutex;
  return *lock;
}

void CKernelObject::AddWaiterLocked(WaitBlock* block) { m_waiters.push_back(block); }

void CKernelObject::RemoveWaiterLocked(WaitBlock* block) {
  m_waiters.erase(std::remove(m_waiters.begin(), m_waiters.end(), block), m_waiters.end());
}

void CKernelObject::WakeWaitersLocked() {
  for (WaitBlock* block : m_waiters) {
    block->wake.notify_one();
  }
}

namespace {

using Objects = std::vector<std::shared_ptr<CKernelObject>>;

// Takes what a satisfied wait consumes; WAIT_TIMEOUT when nothing is satisfied yet.
DWORD TrySatisfyLocked(const Objects& objects, bool waitAll) {
  if (waitAll) {
    for (const auto& object : objects) {
      if (!object->IsSignalledLocked()) {
        return WAIT_TIMEOUT;
      }
    }
    for (const auto& object : objects) {
      object->OnWaitSatisfiedLocked();
    }
    return WAIT_OBJECT_0;
  }
  for (size_t index = 0; index < objects.size(); ++index) {
    if (objects[index]->IsSignalledLocked()) {
      objects[index]->OnWaitSatisfiedLocked();
      return WAIT_OBJECT_0 + static_cast<DWORD>(index);
    }
  }
  return WAIT_TIMEOUT;
}

// Threads inside a blocking wait; guarded by the dispatcher lock.
int g_blockedWaits = 0;

std::condition_variable& BlockedWaitsChanged() {
  // Never destroyed, like the dispatcher lock it is used with.
  static std::condition_variable* changed = new std::condition_variable;
  return *changed;
}

// Counts the calling thread as blocked while it sleeps on its wait block.
class CBlockedMark {
 public:
  CBlockedMark() {
    ++g_blockedWaits;
    BlockedWaitsChanged().notify_all();
  }
  ~CBlockedMark() { --g_blockedWaits; }
  CBlockedMark(const CBlockedMark&) = delete;
  CBlockedMark& operator=(const CBlockedMark&) = delete;
};

class CWaitRegistration {
 public:
  CWaitRegistration(const Objects& objects, WaitBlock* block)
      : m_objects(objects), m_block(block) {}
  ~CWaitRegistration() {
    if (!m_registered) {
      return;
    }
    for (const auto& object : m_objects) {
      object->RemoveWaiterLocked(m_block);
    }
  }
  void EnsureRegisteredLocked() {
    if (m_registered) {
      return;
    }
    for (const auto& object : m_objects) {
      object->AddWaiterLocked(m_block);
    }
    m_registered = true;
  }

 private:
  const Objects& m_objects;
  WaitBlock* m_block;
  bool m_registered = false;
};

}  // namespace

DWORD WaitForObjects(const Objects& objects, bool waitAll, DWORD milliseconds) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  WaitBlock block;
  std::unique_lock<std::mutex> lock(DispatcherLock());
  // Declared after the lock, so it unregisters while the lock is still held.
  CWaitRegistration registration(objects, &block);
  for (;;) {
    const DWORD result = TrySatisfyLocked(objects, waitAll);
    if (result != WAIT_TIMEOUT) {
      return result;
    }
    if (milliseconds == 0) {
      return WAIT_TIMEOUT;
    }
    registration.EnsureRegisteredLocked();
    CBlockedMark blocked;
    if (milliseconds == INFINITE) {
      block.wake.wait(lock);
      continue;
    }
    if (block.wake.wait_until(lock, deadline) == std::cv_status::timeout) {
      // One last look: a signal may have raced with the deadline.
      return TrySatisfyLocked(objects, waitAll);
    }
  }
}

}  // namespace platform::kernel

namespace platform {

int BlockedWaitCount() {
  std::lock_guard<std::mutex> lock(kernel::DispatcherLock());
  return kernel::g_blockedWaits;
}

void WaitForBlockedWaits(int count) {
  std::unique_lock<std::mutex> lock(kernel::DispatcherLock());
  kernel::BlockedWaitsChanged().wait(lock, [count] { return kernel::g_blockedWaits >= count; });
}

}  // namespace platform
