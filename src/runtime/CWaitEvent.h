#pragma once

#include "Platform.h"

// Owns one system event; it starts non-signalled. The handle is null when the
// event could not be created, which the owner checks before relying on it.
class CWaitEvent {
 public:
  explicit CWaitEvent(BOOL manualReset);
  ~CWaitEvent();

  CWaitEvent(const CWaitEvent&) = delete;
  CWaitEvent& operator=(const CWaitEvent&) = delete;

  HANDLE Handle() const { return m_handle; }

 private:
  HANDLE m_handle;  // owned; null when creation failed
};
