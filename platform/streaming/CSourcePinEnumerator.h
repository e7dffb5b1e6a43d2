// IEnumPins over the pins the async file source shows at creation time.
#pragma once

#include <atomic>
#include <mutex>
#include <vector>

#include <win/platform.h>

namespace platform {

class CSourcePinEnumerator final : public IEnumPins {
 public:
  // A new enumerator over pins (each gains a reference), at position 0.
  static HRESULT Create(const std::vector<IPin*>& pins, IEnumPins** out);

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IEnumPins
  HRESULT STDMETHODCALLTYPE Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched) override;
  HRESULT STDMETHODCALLTYPE Skip(ULONG cPins) override;
  HRESULT STDMETHODCALLTYPE Reset() override;
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins** ppEnum) override;

 private:
  CSourcePinEnumerator() = default;
  ~CSourcePinEnumerator();
  static HRESULT CreateAt(const std::vector<IPin*>& pins, size_t position, IEnumPins** out);

  std::atomic<ULONG> m_refs{0};
  std::vector<IPin*> m_pins;  // counted
  std::mutex m_lock;
  size_t m_position = 0;
};

}  // namespace platform
