// The recording sink's one input pin, "In": takes any complete media type,
// lets the upstream pin bring its own allocator, and hands every sample and
// end-of-stream to its filter.
#pragma once

#include <win/platform.h>

#include <string>

#include <platform/ComRef.h>
#include "sinks/CSinkMediaType.h"

namespace tessaly::sinks {

class CRecordingSink;

class CRecordingInputPin final : public IPin, public IMemInputPin {
 public:
  explicit CRecordingInputPin(CRecordingSink* filter) : m_filter(filter) {}
  CRecordingInputPin(const CRecordingInputPin&) = delete;
  CRecordingInputPin& operator=(const CRecordingInputPin&) = delete;
  ~CRecordingInputPin();

  // The filter's lock must be held for these.
  bool IsConnectedLocked() const { return m_peer.Get() != nullptr; }
  bool IsFlushingLocked() const { return m_flushing; }
  const std::string& PeerNameLocked() const { return m_peerName; }

  // IUnknown: counts go to the filter.
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

  // IMemInputPin
  HRESULT STDMETHODCALLTYPE GetAllocator(IMemAllocator** ppAllocator) override;
  HRESULT STDMETHODCALLTYPE NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly) override;
  HRESULT STDMETHODCALLTYPE GetAllocatorRequirements(ALLOCATOR_PROPERTIES* pProps) override;
  HRESULT STDMETHODCALLTYPE Receive(IMediaSample* pSample) override;
  HRESULT STDMETHODCALLTYPE ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                            LONG* nSamplesProcessed) override;
  HRESULT STDMETHODCALLTYPE ReceiveCanBlock() override;

 private:
  CRecordingSink* m_filter;                     // not counted: the pin lives inside it
  platform::ComRef<IPin> m_peer;                // counted; guarded by the filter's lock
  platform::ComRef<IMemAllocator> m_allocator;  // counted; guarded by the filter's lock
  CSinkMediaType m_type;                        // meaningful while connected
  std::string m_peerName;                       // the upstream pin's name
  bool m_flushing = false;
};

}  // namespace tessaly::sinks
