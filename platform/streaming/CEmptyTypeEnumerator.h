// IEnumMediaTypes with nothing to enumerate: the renderer's pin prefers no
// type and takes what the upstream pin proposes.
#pragma once

#include <atomic>

#include <win/platform.h>

namespace platform {

class CEmptyTypeEnumerator final : public IEnumMediaTypes {
 public:
  static HRESULT Create(IEnumMediaTypes** out);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IEnumMediaTypes
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

}  // namespace platform
