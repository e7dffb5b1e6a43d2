#include "CGraphStarter.h"

#include <system_error>

namespace platform {

namespace {

// How long the starter waits on one filter before it looks for a newer request.
constexpr DWORD kWaitSliceMs = 50;

}  // namespace

HRESULT CGraphStarter::Request(std::vector<ComRef<IBaseFilter>> filters, ULONG* request) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_quit) return E_UNEXPECTED;
  if (!m_thread.joinable()) {
    try {
      m_thread = std::thread(&CGraphStarter::Main, this);
    } catch (const std::system_error&) {
      return E_OUTOFMEMORY;
    }
  }
  *request = m_latest.fetch_add(1, std::memory_order_acq_rel) + 1;
  m_filters = std::move(filters);
  m_pendingRequest = *request;
  m_pending = true;
  m_wake.notify_all();
  return S_OK;
}

void CGraphStarter::Cancel() { m_latest.fetch_add(1, std::memory_order_acq_rel); }

void CGraphStarter::Quit() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_quit = true;
    m_latest.fetch_add(1, std::memory_order_acq_rel);
    m_wake.notify_all();
  }
  if (m_thread.joinable()) m_thread.join();
  m_filters.clear();
}

bool CGraphStarter::IsStale(ULONG request) const {
  return m_latest.load(std::memory_order_acquire) != request;
}

void CGraphStarter::Main() {
  for (;;) {
    std::vector<ComRef<IBaseFilter>> filters;
    ULONG request = 0;
    {
      std::unique_lock<std::mutex> lock(m_lock);
      m_wake.wait(lock, [this] { return m_pending || m_quit; });
      if (m_quit) return;
      filters = std::move(m_filters);
      m_filters.clear();
      m_pending = false;
      request = m_pendingRequest;
    }
    for (ComRef<IBaseFilter>& filter : filters) {
      FILTER_STATE state = State_Stopped;
      while (!IsStale(request) &&
             filter->GetState(kWaitSliceMs, &state) == VFW_S_STATE_INTERMEDIATE) {
      }
    }
    filters.clear();
    if (!IsStale(request)) m_start(request);
  }
}

}  // namespace platform
