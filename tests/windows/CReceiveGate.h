// Holds the delivery of one graph's sinks at a chosen sample, so that the
// test can act while a file is known to be half delivered.
#pragma once

#include <windows.h>

class CReceiveGate {
 public:
  CReceiveGate();
  ~CReceiveGate();
  CReceiveGate(const CReceiveGate&) = delete;
  CReceiveGate& operator=(const CReceiveGate&) = delete;

  // The receive with this number (from 0, counted over every sink) waits in
  // Pass until Open; -1 lets everything through.
  void CloseAt(LONG index);
  // Called by a sink for every sample; FALSE when the sample was held and
  // the sink has been stopped or flushed meanwhile.
  bool Pass();
  void Open();
  // Waits until a receive is held; FALSE after timeoutMs.
  bool WaitHeld(DWORD timeoutMs);

 private:
  volatile LONG m_count = 0;
  volatile LONG m_closeAt = -1;
  HANDLE m_held;    // owned: set when a receive waits
  HANDLE m_opened;  // owned: manual reset, set by Open
};
