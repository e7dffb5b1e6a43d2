// The async file source's one output pin, "Output": connects as the output side
// with the source's byte-stream type and offers IAsyncReader over the file.
#pragma once

#include <win/platform.h>

#include "CAsyncFileReader.h"

namespace platform {

class CAsyncFileSource;

class CAsyncOutputPin final : public IPin {
 public:
  // The pin lives inside filter and hands its counts to it.
  explicit CAsyncOutputPin(CAsyncFileSource* filter);
  ~CAsyncOutputPin();
  CAsyncOutputPin(const CAsyncOutputPin&) = delete;
  CAsyncOutputPin& operator=(const CAsyncOutputPin&) = delete;

  CAsyncFileReader& Reader() { return m_reader; }
  // Both with the filter's lock held.
  bool IsConnectedLocked() const { return m_peer != nullptr || m_connecting; }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  // IPin
  HRESULT STDMETHODCALLTYPE Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt) override;
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override;
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pPin) override;
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE* pmt) override;
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* pInfo) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* pPinDir) override;
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR* Id) override;
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* pmt) override;
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** ppEnum) override;
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin** apPin, ULONG* nPin) override;
  HRESULT STDMETHODCALLTYPE EndOfStream() override;
  HRESULT STDMETHODCALLTYPE BeginFlush() override;
  HRESULT STDMETHODCALLTYPE EndFlush() override;
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                       double dRate) override;

 private:
  CAsyncFileSource* const m_filter;  // not counted: the owner
  CAsyncFileReader m_reader;         // hands its counts to the pin
  // Guarded by the filter's lock.
  IPin* m_peer = nullptr;            // counted
  AM_MEDIA_TYPE m_connectionType{};  // owned format block and pUnk reference
  // Set while the peer's ReceiveConnection runs without the lock, which it may
  // need for reading the file through this pin.
  bool m_connecting = false;
};

}  // namespace platform
