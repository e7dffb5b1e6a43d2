#pragma once

#include <atomic>

#include "Platform.h"
#include "runtime/CWaitEvent.h"

// One system thread driven by a request/reply handshake: a controlling thread
// posts a command and blocks until the worker answers it. The derived class
// supplies the thread's body and must join the thread at the start of its own
// destructor, before the fields WorkerMain uses are gone.
class CWorkerThread {
 public:
  CWorkerThread(const CWorkerThread&) = delete;
  CWorkerThread& operator=(const CWorkerThread&) = delete;

  // FALSE when a thread exists already, when either event is missing, or when
  // the system refuses to create the thread.
  BOOL StartThread();
  // The worker's reply, or E_FAIL at once when no thread has been started.
  HRESULT SendCommand(DWORD command);
  // Of two concurrent joins only one waits on and closes the handle.
  void JoinThread();

 protected:
  CWorkerThread();
  // Not virtual: the object is destroyed through the class that derives from it.
  ~CWorkerThread();

  virtual DWORD WorkerMain() = 0;

  // Worker side of the handshake.
  DWORD WaitCommand();
  BOOL PeekCommand(DWORD* command);
  void ReplyCommand(DWORD reply);

  // Re-entrant: the owner may hold it around a check of ThreadExists and the
  // calls above; the worker never takes it.
  CRITICAL_SECTION* AccessLock() { return &m_accessLock; }
  BOOL ThreadExists() const { return m_thread != nullptr; }

 private:
  static DWORD WINAPI ThreadEntry(LPVOID parameter);

  CWaitEvent m_requestEvent;  // manual reset: stays signalled until the worker answers
  CWaitEvent m_replyEvent;    // automatic reset: consumed by the waiting sender
  // Set before the request event and cleared before it is re-armed, so that
  // the worker's check between rows costs a load rather than a kernel wait.
  std::atomic<bool> m_pending;
  DWORD m_command;
  DWORD m_reply;
  HANDLE volatile m_thread;  // owned; null when none is running or after the join
  CRITICAL_SECTION m_accessLock;
};
