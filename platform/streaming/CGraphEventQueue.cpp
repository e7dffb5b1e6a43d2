#include "CGraphEventQueue.h"

#include <chrono>
#include <new>

namespace platform {

CGraphEventQueue::~CGraphEventQueue() {
  if (m_signal) CloseHandle(m_signal);
}

void CGraphEventQueue::SignalLocked() {
  if (!m_signal) return;
  if (m_events.empty()) {
    ResetEvent(m_signal);
  } else {
    SetEvent(m_signal);
  }
}

HRESULT CGraphEventQueue::Push(const GraphEvent& event) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_discarding) return S_FALSE;
  try {
    m_events.push_back(event);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  SignalLocked();
  m_arrived.notify_all();
  return S_OK;
}

HRESULT CGraphEventQueue::Take(GraphEvent* event, DWORD timeoutMs) {
  if (!event) return E_POINTER;
  std::unique_lock<std::mutex> lock(m_lock);
  auto ready = [this] { return !m_events.empty(); };
  if (timeoutMs == INFINITE) {
    m_arrived.wait(lock, ready);
  } else if (!m_arrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready)) {
    return E_ABORT;
  }
  *event = m_events.front();
  m_events.pop_front();
  SignalLocked();
  return S_OK;
}

ULONG CGraphEventQueue::Count() {
  std::lock_guard<std::mutex> guard(m_lock);
  return static_cast<ULONG>(m_events.size());
}

HRESULT CGraphEventQueue::Handle(HANDLE* handle) {
  if (!handle) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_signal) {
    m_signal = CreateEventA(nullptr, TRUE, m_events.empty() ? FALSE : TRUE, nullptr);
    if (!m_signal) return E_OUTOFMEMORY;
  }
  *handle = m_signal;
  return S_OK;
}

void CGraphEventQueue::SetDiscarding(bool discarding) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_discarding = discarding;
  if (discarding) m_events.clear();
  SignalLocked();
}

bool CGraphEventQueue::IsDiscarding() {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_discarding;
}

}  // namespace platform
