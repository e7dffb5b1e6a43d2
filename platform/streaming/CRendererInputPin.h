// The platform renderer's one input pin, "In": takes any complete media type,
// uses the upstream pin's allocator, and hands samples, end of stream and
// flushes to its renderer.
#pragma once

#include <vector>

#include <platform/ComRef.h>
#include <win/platform.h>

namespace platform {

class CRenderer;

class CRendererInputPin final : public IPin, public IMemInputPin {
 public:
  explicit CRendererInputPin(CRenderer* renderer) : m_renderer(renderer) {}
  CRendererInputPin(const CRendererInputPin&) = delete;
  CRendererInputPin& operator=(const CRendererInputPin&) = delete;
  ~CRendererInputPin();

  // The renderer's lock must be held.
  bool IsConnectedLocked() const { return m_peer.Get() != nullptr; }

  // IUnknown: counts go to the renderer.
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
  CRenderer* m_renderer;              // not counted: the pin lives inside it
  ComRef<IPin> m_peer;                // counted; guarded by the renderer's lock
  ComRef<IMemAllocator> m_allocator;  // counted; guarded by the renderer's lock
  AM_MEDIA_TYPE m_type{};             // owned copy while connected; guarded by the renderer's lock
};

}  // namespace platform
