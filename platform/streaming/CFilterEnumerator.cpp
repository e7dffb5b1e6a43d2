#include "CFilterEnumerator.h"

#include <new>

#include "CFilterGraph.h"

namespace platform {

HRESULT CFilterEnumerator::Create(CFilterGraph* graph, ULONG version, size_t position,
                                  IEnumFilters** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* enumerator = new (std::nothrow) CFilterEnumerator(graph, version, position);
  if (!enumerator) return E_OUTOFMEMORY;
  enumerator->AddRef();
  *out = enumerator;
  return S_OK;
}

CFilterEnumerator::CFilterEnumerator(CFilterGraph* graph, ULONG version, size_t position)
    : m_graphRef(ComRef<IFilterGraph>::Share(graph)),
      m_graph(graph),
      m_version(version),
      m_position(position) {}

HRESULT CFilterEnumerator::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumFilters) {
    *ppv = static_cast<IEnumFilters*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CFilterEnumerator::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CFilterEnumerator::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CFilterEnumerator::Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) {
  if (!ppFilter) return E_POINTER;
  if (!pcFetched && cFilters != 1) return E_POINTER;
  if (pcFetched) *pcFetched = 0;
  std::lock_guard<std::mutex> guard(m_lock);
  ULONG copied = 0;
  HRESULT hr = m_graph->CopyFilters(m_version, m_position, cFilters, ppFilter, &copied);
  if (FAILED(hr)) return hr;
  m_position += copied;
  if (pcFetched) *pcFetched = copied;
  return copied == cFilters ? S_OK : S_FALSE;
}

HRESULT CFilterEnumerator::Skip(ULONG cFilters) {
  std::lock_guard<std::mutex> guard(m_lock);
  size_t count = 0;
  HRESULT hr = m_graph->CountFilters(m_version, &count);
  if (FAILED(hr)) return hr;
  size_t left = count > m_position ? count - m_position : 0;
  if (cFilters > left) {
    m_position = count;
    return S_FALSE;
  }
  m_position += cFilters;
  return S_OK;
}

HRESULT CFilterEnumerator::Reset() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_version = m_graph->MembershipVersion();
  m_position = 0;
  return S_OK;
}

HRESULT CFilterEnumerator::Clone(IEnumFilters** ppEnum) {
  if (!ppEnum) return E_POINTER;
  std::lock_guard<std::mutex> guard(m_lock);
  return Create(m_graph, m_version, m_position, ppEnum);
}

}  // namespace platform
