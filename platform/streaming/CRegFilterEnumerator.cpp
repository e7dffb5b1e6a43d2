#include "CRegFilterEnumerator.h"

#include <cstring>
#include <new>

namespace platform {

namespace {

// One block the caller frees with one CoTaskMemFree: the record, then its name.
REGFILTER* NewRegFilter(const FoundFilter& filter) {
  size_t nameBytes = (filter.name.size() + 1) * sizeof(WCHAR);
  auto* block = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(REGFILTER) + nameBytes));
  if (!block) return nullptr;
  auto* record = reinterpret_cast<REGFILTER*>(block);
  record->Clsid = filter.clsid;
  record->Name = reinterpret_cast<LPWSTR>(block + sizeof(REGFILTER));
  std::memcpy(record->Name, filter.name.c_str(), nameBytes);
  return record;
}

}  // namespace

HRESULT CRegFilterEnumerator::Create(const std::vector<FoundFilter>& filters,
                                     IEnumRegFilters** out) {
  return CreateAt(filters, 0, out);
}

HRESULT CRegFilterEnumerator::CreateAt(const std::vector<FoundFilter>& filters, size_t position,
                                       IEnumRegFilters** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  auto* enumerator = new (std::nothrow) CRegFilterEnumerator;
  if (!enumerator) return E_OUTOFMEMORY;
  try {
    enumerator->m_filters = filters;
  } catch (const std::bad_alloc&) {
    delete enumerator;
    return E_OUTOFMEMORY;
  }
  enumerator->m_position = position;
  enumerator->AddRef();
  *out = enumerator;
  return S_OK;
}

HRESULT CRegFilterEnumerator::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IEnumRegFilters) {
    *ppv = static_cast<IEnumRegFilters*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

ULONG CRegFilterEnumerator::AddRef() { return m_refs.fetch_add(1, std::memory_order_relaxed) + 1; }

ULONG CRegFilterEnumerator::Release() {
  ULONG left = m_refs.fetch_sub(1, std::memory_order_acq_rel) - 1;
  if (left == 0) delete this;
  return left;
}

HRESULT CRegFilterEnumerator::Next(ULONG cFilters, REGFILTER** apRegFilter, ULONG* pcFetched) {
  if (!apRegFilter) return E_POINTER;
  if (cFilters != 1 && !pcFetched) return E_INVALIDARG;
  if (pcFetched) *pcFetched = 0;
  std::lock_guard<std::mutex> guard(m_lock);
  ULONG fetched = 0;
  while (fetched < cFilters && m_position + fetched < m_filters.size()) {
    REGFILTER* record = NewRegFilter(m_filters[m_position + fetched]);
    if (!record) {
      // All or nothing: the caller gets no half-filled array to clean up.
      for (ULONG i = 0; i < fetched; ++i) {
        CoTaskMemFree(apRegFilter[i]);
        apRegFilter[i] = nullptr;
      }
      return E_OUTOFMEMORY;
    }
    apRegFilter[fetched++] = record;
  }
  m_position += fetched;
  if (pcFetched) *pcFetched = fetched;
  return fetched == cFilters ? S_OK : S_FALSE;
}

HRESULT CRegFilterEnumerator::Skip(ULONG cFilters) {
  std::lock_guard<std::mutex> guard(m_lock);
  size_t left = m_filters.size() - m_position;
  if (cFilters > left) {
    m_position = m_filters.size();
    return S_FALSE;
  }
  m_position += cFilters;
  return S_OK;
}

HRESULT CRegFilterEnumerator::Reset() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_position = 0;
  return S_OK;
}

HRESULT CRegFilterEnumerator::Clone(IEnumRegFilters** ppEnum) {
  std::lock_guard<std::mutex> guard(m_lock);
  return CreateAt(m_filters, m_position, ppEnum);
}

}  // namespace platform
