#include "CReceiveGate.h"

CReceiveGate::CReceiveGate()
    : m_held(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
      m_opened(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

CReceiveGate::~CReceiveGate() {
  CloseHandle(m_held);
  CloseHandle(m_opened);
}

void CReceiveGate::CloseAt(LONG index) {
  InterlockedExchange(&m_count, 0);
  InterlockedExchange(&m_closeAt, index);
  InterlockedExchange(&m_heldAt, -1);
  ResetEvent(m_held);
  ResetEvent(m_opened);
}

bool CReceiveGate::Pass() {
  const LONG index = InterlockedIncrement(&m_count) - 1;
  const LONG closeAt = m_closeAt;
  if (closeAt < 0 || index < closeAt) {
    return true;
  }
  // Open only wakes: a sink stopped first must not let the samples meant
  // for a sink not yet stopped through, or the count depends on the order
  // in which the graph stops its filters.
  InterlockedCompareExchange(&m_heldAt, index, -1);
  SetEvent(m_held);
  WaitForSingleObject(m_opened, INFINITE);
  return false;
}

void CReceiveGate::Open() { SetEvent(m_opened); }

void CReceiveGate::WaitHeld() { WaitForSingleObject(m_held, INFINITE); }
