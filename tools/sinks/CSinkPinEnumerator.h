// IEnumPins over a sink's single pin.
#pragma once

#include <win/platform.h>

#include <atomic>

#include <platform/ComRef.h>

namespace tessaly::sinks {

class CSinkPinEnumerator final : public IEnumPins {
 public:
  // Hands out an enumerator with one reference in *out, positioned at position.
  static HRESULT Create(IPin* pin, ULONG position, IEnumPins** out);

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG cPins) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** ppEnum) override;

 private:
  CSinkPinEnumerator(IPin* pin, ULONG position);
  ~CSinkPinEnumerator() = default;

  std::atomic<ULONG> m_refs{0};
  platform::ComRef<IPin> m_pin;  // counted: keeps the sink alive while enumerating
  ULONG m_position;
};

}  // namespace tessaly::sinks
