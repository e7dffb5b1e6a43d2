#include "runtime/CWorkerThread.h"

#include "runtime/CAutoLock.h"

CWorkerThread::CWorkerThread()
    : m_requestEvent(TRUE),
      m_replyEvent(FALSE),
      m_pending(false),
      m_command(0),
      m_reply(0),
      m_thread(nullptr) {
  InitializeCriticalSection(&m_accessLock);
}

CWorkerThread::~CWorkerThread() {
  JoinThread();
  DeleteCriticalSection(&m_accessLock);
}

BOOL CWorkerThread::StartThread() {
  CAutoLock lock(&m_accessLock);
  if (m_thread != nullptr) {
    return FALSE;
  }
  // Without both events a command could never be answered.
  if (m_requestEvent.Handle() == nullptr || m_replyEvent.Handle() == nullptr) {
    return FALSE;
  }
  HANDLE thread = CreateThread(nullptr, 0, ThreadEntry, this, 0, nullptr);
  if (thread == nullptr) {
    return FALSE;
  }
  InterlockedExchangePointer(&m_thread, thread);
  return TRUE;
}

DWORD WINAPI CWorkerThread::ThreadEntry(LPVOID parameter) {
  return static_cast<CWorkerThread*>(parameter)->WorkerMain();
}

HRESULT CWorkerThread::SendCommand(DWORD command) {
  CAutoLock lock(&m_accessLock);
  if (m_thread == nullptr) {
    return E_FAIL;
  }
  m_command = command;
  m_pending.store(true, std::memory_order_release);
  SetEvent(m_requestEvent.Handle());
  WaitForSingleObject(m_replyEvent.Handle(), INFINITE);
  return static_cast<HRESULT>(m_reply);
}

DWORD CWorkerThread::WaitCommand() {
  WaitForSingleObject(m_requestEvent.Handle(), INFINITE);
  return m_command;
}

BOOL CWorkerThread::PeekCommand(DWORD* command) {
  if (!m_pending.load(std::memory_order_acquire)) {
    return FALSE;
  }
  if (command != nullptr) {
    *command = m_command;
  }
  return TRUE;
}

void CWorkerThread::ReplyCommand(DWORD reply) {
  // The reply is stored before the request is re-armed and the sender woken.
  m_reply = reply;
  m_pending.store(false, std::memory_order_relaxed);
  ResetEvent(m_requestEvent.Handle());
  SetEvent(m_replyEvent.Handle());
}

void CWorkerThread::JoinThread() {
  HANDLE thread = InterlockedExchangePointer(&m_thread, nullptr);
  if (thread == nullptr) {
    return;
  }
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}
