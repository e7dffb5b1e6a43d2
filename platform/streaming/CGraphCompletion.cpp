#include "CGraphCompletion.h"

#include <algorithm>
#include <chrono>
#include <new>

namespace platform {

HRESULT CGraphCompletion::Begin(const std::vector<IBaseFilter*>& sinks,
                                const std::vector<IBaseFilter*>& others) {
  std::lock_guard<std::mutex> guard(m_lock);
  try {
    m_sinks = sinks;
    m_others = others;
    m_sinkDone.assign(sinks.size(), false);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  m_counting = true;
  m_unnamedDone = 0;
  m_firstFailure = S_OK;
  m_completeReported = false;
  m_finished = false;
  m_finishCode = 0;
  ++m_generation;
  m_changed.notify_all();
  return S_OK;
}

bool CGraphCompletion::OnRunning(GraphEvent* report) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_counting || !m_sinks.empty() || m_completeReported || m_finished) return false;
  m_completeReported = true;
  FinishLocked(EC_COMPLETE);
  *report = GraphEvent{EC_COMPLETE, S_OK, 0};
  return true;
}

void CGraphCompletion::End() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_counting = false;
  m_sinks.clear();
  m_others.clear();
  m_sinkDone.clear();
  m_unnamedDone = 0;
  m_finished = false;
  ++m_generation;
  m_changed.notify_all();
}

bool CGraphCompletion::AllSinksDoneLocked() const {
  size_t done = static_cast<size_t>(std::count(m_sinkDone.begin(), m_sinkDone.end(), true));
  return done + m_unnamedDone >= m_sinks.size();
}

void CGraphCompletion::FinishLocked(LONG code) {
  if (m_finished) return;
  m_finished = true;
  m_finishCode = code;
  m_changed.notify_all();
}

bool CGraphCompletion::Filter(const GraphEvent& event, GraphEvent* report) {
  *report = event;
  std::lock_guard<std::mutex> guard(m_lock);
  if (event.code == EC_ERRORABORT || event.code == EC_USERABORT) {
    if (m_counting) FinishLocked(event.code);
    return true;
  }
  // Outside a run there is no count to hold a completion against.
  if (event.code != EC_COMPLETE || !m_counting) return true;

  auto* sender = reinterpret_cast<IBaseFilter*>(event.param2);
  auto sink = std::find(m_sinks.begin(), m_sinks.end(), sender);
  if (sender && sink == m_sinks.end() &&
      std::find(m_others.begin(), m_others.end(), sender) != m_others.end()) {
    // A filter in the middle of a stream has not rendered anything.
    return !m_defaultHandling;
  }
  if (sender && sink != m_sinks.end()) {
    size_t index = static_cast<size_t>(sink - m_sinks.begin());
    // A sink that signals again (on every Run, as renderers do) counts once.
    if (m_sinkDone[index]) return !m_defaultHandling;
    m_sinkDone[index] = true;
  } else {
    ++m_unnamedDone;
  }
  if (FAILED(static_cast<HRESULT>(event.param1)) && SUCCEEDED(m_firstFailure)) {
    m_firstFailure = static_cast<HRESULT>(event.param1);
  }
  bool allDone = !m_completeReported && AllSinksDoneLocked();
  if (allDone) {
    m_completeReported = true;
    FinishLocked(EC_COMPLETE);
  }
  if (!m_defaultHandling) return true;
  if (!allDone) return false;
  *report = GraphEvent{EC_COMPLETE, m_firstFailure, 0};
  return true;
}

HRESULT CGraphCompletion::Wait(LONG timeoutMs, LONG* code) {
  if (code) *code = 0;
  std::unique_lock<std::mutex> lock(m_lock);
  const ULONG generation = m_generation;
  auto settled = [&] { return m_finished || !m_counting || m_generation != generation; };
  if (timeoutMs < 0) {
    m_changed.wait(lock, settled);
  } else if (!m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), settled)) {
    return E_ABORT;
  }
  if (!m_finished || m_generation != generation) return VFW_E_WRONG_STATE;
  if (code) *code = m_finishCode;
  return S_OK;
}

HRESULT CGraphCompletion::SetDefaultHandling(LONG code, bool enabled) {
  if (code != EC_COMPLETE) return S_FALSE;
  std::lock_guard<std::mutex> guard(m_lock);
  m_defaultHandling = enabled;
  return S_OK;
}

}  // namespace platform
