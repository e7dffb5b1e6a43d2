// Small filters for the graph tests: they record what the graph asks of them
// and connect their pins the plain way (counted peers, no media-type talk).
#pragma once

#include <win/platform.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

namespace streaming_test {

class FakeFilter;

class FakePin final : public IPin {
 public:
  FakePin(FakeFilter* owner, PIN_DIRECTION direction, std::u16string name)
      : m_owner(owner), m_direction(direction), m_name(std::move(name)) {}
  ~FakePin() {
    if (m_peer) m_peer->Release();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override {
    if (!pReceivePin) return E_POINTER;
    if (m_peer) return VFW_E_ALREADY_CONNECTED;
    connectTypes.push_back(pmt);
    HRESULT hr = pReceivePin->ReceiveConnection(this, pmt);
    if (FAILED(hr)) return hr;
    pReceivePin->AddRef();
    m_peer = pReceivePin;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE*) override {
    if (!pConnector) return E_POINTER;
    if (m_peer) return VFW_E_ALREADY_CONNECTED;
    if (FAILED(receiveResult)) return receiveResult;
    pConnector->AddRef();
    m_peer = pConnector;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Disconnect() override {
    ++disconnectCalls;
    if (!m_peer) return S_FALSE;
    m_peer->Release();
    m_peer = nullptr;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pPin) override {
    if (!pPin) return E_POINTER;
    *pPin = m_peer;
    if (!m_peer) return VFW_E_NOT_CONNECTED;
    m_peer->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* pInfo) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pPinDir) override {
    if (!pPinDir) return E_POINTER;
    *pPinDir = m_direction;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    return S_OK;
  }

  IPin* Peer() const { return m_peer; }

  std::vector<const AM_MEDIA_TYPE*> connectTypes;  // what each Connect was given
  int disconnectCalls = 0;
  HRESULT receiveResult = S_OK;
  IMediaSeeking* seeking = nullptr;  // not counted: what QueryInterface hands out, if set

 private:
  FakeFilter* m_owner;  // not counted: the pin's counts go to it
  PIN_DIRECTION m_direction;
  std::u16string m_name;
  IPin* m_peer = nullptr;  // counted
};

class FakePinEnumerator final : public IEnumPins {
 public:
  explicit FakePinEnumerator(std::vector<IPin*> pins) : m_pins(std::move(pins)) {
    for (IPin* pin : m_pins) pin->AddRef();
  }
  ~FakePinEnumerator() {
    for (IPin* pin : m_pins) pin->Release();
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IEnumPins) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
    ULONG n = 0;
    while (n < count && m_next < m_pins.size()) {
      pins[n] = m_pins[m_next++];
      pins[n++]->AddRef();
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_next = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins**) override { return E_NOTIMPL; }

 private:
  std::atomic<ULONG> m_refs{0};
  std::vector<IPin*> m_pins;  // counted
  size_t m_next = 0;
};

class FakeFilter final : public IBaseFilter {
 public:
  struct JoinCall {
    IFilterGraph* graph;
    bool named;
    std::u16string name;
  };

  // Created with one reference, the caller's.
  static FakeFilter* New() {
    auto* filter = new FakeFilter;
    filter->AddRef();
    return filter;
  }

  FakePin* AddPin(PIN_DIRECTION direction, const char16_t* name) {
    m_pins.push_back(std::make_unique<FakePin>(this, direction, name));
    return m_pins.back().get();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
        riid == IID_IBaseFilter) {
      *ppv = static_cast<IBaseFilter*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    *id = CLSID_NULL;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stop() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Pause() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override {
    *state = State_Stopped;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override {
    if (clock) clock->AddRef();
    if (m_clock) m_clock->Release();
    m_clock = clock;
    syncSources.push_back(clock);
    return syncResult;
  }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override {
    *clock = m_clock;
    if (m_clock) m_clock->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** out) override {
    std::vector<IPin*> pins;
    for (auto& pin : m_pins) pins.push_back(pin.get());
    *out = new FakePinEnumerator(std::move(pins));
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
    joins.push_back(JoinCall{graph, name != nullptr, name ? std::u16string(name) : u""});
    return joinResult;
  }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  ULONG Count() const { return m_refs; }

  std::vector<JoinCall> joins;
  std::vector<IReferenceClock*> syncSources;  // identities only, not counted
  HRESULT joinResult = S_OK;
  HRESULT syncResult = S_OK;

 private:
  FakeFilter() = default;
  ~FakeFilter() {
    m_pins.clear();
    if (m_clock) m_clock->Release();
  }

  std::atomic<ULONG> m_refs{0};
  std::vector<std::unique_ptr<FakePin>> m_pins;  // owned
  IReferenceClock* m_clock = nullptr;            // counted
};

inline HRESULT FakePin::QueryInterface(REFIID riid, void** ppv) {
  if (riid == IID_IUnknown || riid == IID_IPin) {
    *ppv = static_cast<IPin*>(this);
    AddRef();
    return S_OK;
  }
  if (riid == IID_IMediaSeeking && seeking) {
    seeking->AddRef();
    *ppv = seeking;
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}
inline ULONG FakePin::AddRef() { return m_owner->AddRef(); }
inline ULONG FakePin::Release() { return m_owner->Release(); }
inline HRESULT FakePin::QueryPinInfo(PIN_INFO* pInfo) {
  pInfo->pFilter = m_owner;
  m_owner->AddRef();
  pInfo->dir = m_direction;
  size_t n = std::min(m_name.size(), size_t{MAX_PIN_NAME - 1});
  std::copy(m_name.begin(), m_name.begin() + n, pInfo->achName);
  pInfo->achName[n] = 0;
  return S_OK;
}

}  // namespace streaming_test
