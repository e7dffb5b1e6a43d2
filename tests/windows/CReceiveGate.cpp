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
  ResetEvent(m_held);
  ResetEvent(m_opened);
}

bool CReceiveGate::Pass() {
  LONG index = InterlockedIncrement(&m_count) - 1;
  if (m_closeAt < 0 || index < m_closeAt) {
    return true;
  }
  SetEvent(m_held);
  WaitForSingleObject(m_opened, INFINITE);
  return false;
}

void CReceiveGate::Open() {
  InterlockedExchange(&m_closeAt, -1);
  SetEvent(m_opened);
}

bool CReceiveGate::WaitHeld(DWORD timeoutMs) {
  return WaitForSingleObject(m_held, timeoutMs) == WAIT_OBJECT_0;
}
