#pragma once

#include "Platform.h"

// Holds a critical section for the lifetime of the guard, so that every early
// return leaves the lock it took.
class CAutoLock {
 public:
  explicit CAutoLock(CRITICAL_SECTION* lock) : m_lock(lock) { EnterCriticalSection(m_lock); }
  ~CAutoLock() { LeaveCriticalSection(m_lock); }

  CAutoLock(const CAutoLock&) = delete;
  CAutoLock& operator=(const CAutoLock&) = delete;

 private:
  CRITICAL_SECTION* m_lock;  // borrowed: owned by the object it guards
};
