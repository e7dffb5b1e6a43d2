// IEnumFilters over a filter graph's members, in the order they were added;
// it goes out of step when the graph's membership changes, until Reset.
#pragma once

#include <atomic>
#include <mutex>

#include <win/platform.h>

#include <platform/ComRef.h>

namespace platform {

class CFilterGraph;

class CFilterEnumerator final : public IEnumFilters {
 public:
  static HRESULT Create(CFilterGraph* graph, ULONG version, size_t position, IEnumFilters** out);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IEnumFilters
  HRESULT STDMETHODCALLTYPE Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG cFilters) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumFilters** ppEnum) override;

 private:
  CFilterEnumerator(CFilterGraph* graph, ULONG version, size_t position);
  ~CFilterEnumerator() = default;

  std::atomic<ULONG> m_refs{0};
  ComRef<IFilterGraph> m_graphRef;  // counted: the graph outlives its enumerators
  CFilterGraph* m_graph;            // borrowed from m_graphRef
  std::mutex m_lock;
  ULONG m_version;
  size_t m_position;
};

}  // namespace platform
