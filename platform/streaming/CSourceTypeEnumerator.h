// IEnumMediaTypes over the one media type the async file source offers.
#pragma once

#include <atomic>
#include <mutex>

#include <win/platform.h>

namespace platform {

class CSourceTypeEnumerator final : public IEnumMediaTypes {
 public:
  // A new enumerator over a copy of type, at position 0.
  static HRESULT Create(const AM_MEDIA_TYPE& type, IEnumMediaTypes** out);

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
  CSourceTypeEnumerator() = default;
  ~CSourceTypeEnumerator();
  static HRESULT CreateAt(const AM_MEDIA_TYPE& type, ULONG position, IEnumMediaTypes** out);

  std::atomic<ULONG> m_refs{0};
  AM_MEDIA_TYPE m_type{};  // owned format block and pUnk reference
  std::mutex m_lock;
  ULONG m_position = 0;  // 0 or 1
};

}  // namespace platform
