// IEnumRegFilters over the filters one EnumMatchingFilters call found, in merit
// order; each REGFILTER goes out as one task-memory block holding its name.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include <win/platform.h>

namespace platform {

struct FoundFilter {
  CLSID clsid;
  std::u16string name;
};

class CRegFilterEnumerator final : public IEnumRegFilters {
 public:
  // A new enumerator over a copy of filters, at position 0.
  static HRESULT Create(const std::vector<FoundFilter>& filters, IEnumRegFilters** out);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IEnumRegFilters
  HRESULT STDMETHODCALLTYPE Next(ULONG cFilters, REGFILTER** apRegFilter,
                                 ULONG* pcFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG cFilters) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumRegFilters** ppEnum) override;

 private:
  CRegFilterEnumerator() = default;
  ~CRegFilterEnumerator() = default;
  static HRESULT CreateAt(const std::vector<FoundFilter>& filters, size_t position,
                          IEnumRegFilters** out);

  std::atomic<ULONG> m_refs{0};
  std::vector<FoundFilter> m_filters;
  std::mutex m_lock;
  size_t m_position = 0;
};

}  // namespace platform
