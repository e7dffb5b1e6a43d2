#include "runtime/CWaitEvent.h"

CWaitEvent::CWaitEvent(BOOL manualReset)
    : m_handle(CreateEventA(nullptr, manualReset, FALSE, nullptr)) {}

CWaitEvent::~CWaitEvent() {
  if (m_handle != nullptr) {
    CloseHandle(m_handle);
  }
}
