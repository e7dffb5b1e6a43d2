#include "CGraphEventQueue.h"

#include <chrono>
#include <new>

namespace platform {

HRESULT CGraphEventQueue::Push(const GraphEvent& event) {
  std::lock_guard<std::mutex> guard(m_lock);
  try {
    m_events.push_back(event);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
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
  return S_OK;
}

ULONG CGraphEventQueue::Count() {
  std::lock_guard<std::mutex> guard(m_lock);
  return static_cast<ULONG>(m_events.size());
}

}  // namespace platform
