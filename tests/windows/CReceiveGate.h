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

  // Receives are numbered from 0 over every sink, in whatever order the
  // sinks' threads reach the gate. The receive with this number waits in
  // Pass until Open, and it and every later one are refused until the next
  // CloseAt, so exactly index receives are let through; -1 lets everything
  // through. Call only while no sink can receive.
  void CloseAt(LONG index);
  // Called by a sink for every sample; FALSE when the sample must not be
  // taken (it came at or after the hold).
  bool Pass();
  // Wakes the held receive (a sink stopped or flushed) without letting
  // later ones through.
  void Open();
  // Returns once a receive is held; a delivery that never comes is a hang
  // that the caller's run time limit ends.
  void WaitHeld();
  // The number of the first receive held since CloseAt, or -1.
  LONG HeldAt() const { return m_heldAt; }

 private:
  volatile LONG m_count = 0;
  volatile LONG m_closeAt = -1;
  volatile LONG m_heldAt = -1;
  HANDLE m_held;    // owned: manual reset, set when a receive reaches the hold
  HANDLE m_opened;  // owned: manual reset, set by Open
};
