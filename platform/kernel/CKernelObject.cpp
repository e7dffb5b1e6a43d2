#include "CKernelObject.h"

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
