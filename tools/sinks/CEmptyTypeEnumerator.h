// IEnumMediaTypes with nothing in it: a sink prefers no type of its own and
// lets the upstream pin propose.
#pragma once

#include <win/platform.h>

#include <atomic>

namespace tessaly::sinks {

class CEmptyTypeEnumerator final : public IEnumMediaTypes {
 public:
  static HRESULT Create(IEnumMediaTypes** out);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                 ULONG* pcFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG cMediaTypes) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes** ppEnum) override;

 private:
  CEmptyTypeEnumerator() = default;
  ~CEmptyTypeEnumerator() = default;

  std::atomic<ULONG> m_refs{0};
};

}  // namespace tessaly::sinks
