// Holds a critical section for a scope, so that every early return leaves it.
#pragma once

#include <windows.h>

class CScopedLock {
 public:
  explicit CScopedLock(CRITICAL_SECTION* lock) : m_lock(lock) { EnterCriticalSection(m_lock); }
  ~CScopedLock() { LeaveCriticalSection(m_lock); }
  CScopedLock(const CScopedLock&) = delete;
  CScopedLock& operator=(const CScopedLock&) = delete;

 private:
  CRITICAL_SECTION* m_lock;  // borrowed
};
