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

// Holds a critical section for the lifetime of the guard if it was free (or
// already this thread's) when the guard was made; a null lock counts as held.
class CTryLock {
 public:
  explicit CTryLock(CRITICAL_SECTION* lock)
      : m_lock(lock), m_held(lock == nullptr || TryEnterCriticalSection(lock) != FALSE) {}
  ~CTryLock() {
    if (m_lock != nullptr && m_held) {
      LeaveCriticalSection(m_lock);
    }
  }

  CTryLock(const CTryLock&) = delete;
  CTryLock& operator=(const CTryLock&) = delete;

  bool Held() const { return m_held; }

 private:
  CRITICAL_SECTION* m_lock;  // borrowed: owned by the object it guards
  const bool m_held;
};
