#pragma once

#include "Platform.h"
#include "com/CComHolder.h"
#include "framework/CPinBase.h"

// The base of a pin that pushes samples downstream: it takes the downstream
// IMemInputPin, negotiates the connection's allocator (the downstream pin's
// first, one of its own second), and carries the delivery operations.
class COutputPinBase : public CPinBase {
 public:
  COutputPinBase(const char* objectName, CFilterBase* owner, CRITICAL_SECTION* lock,
                 HRESULT* result, LPCWSTR pinName);

  HRESULT Activate() override;
  HRESULT Deactivate() override;
  HRESULT PreparePeer(IPin* other) override;
  HRESULT ReleasePeer() override;
  HRESULT FinishConnection(IPin* peer) override;

  virtual HRESULT NegotiateAllocator(IMemInputPin* input, IMemAllocator** out);
  // Sets the buffer layout on the allocator; request is the downstream pin's.
  virtual HRESULT SizeBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  // The delivery operations take no lock: the caller serialises them.
  virtual HRESULT GetOutputSample(IMediaSample** out, REFERENCE_TIME* start, REFERENCE_TIME* stop,
                                  DWORD flags);
  virtual HRESULT SendSample(IMediaSample* sample);
  virtual HRESULT CreateOwnAllocator(IMemAllocator** out);
  virtual HRESULT SendEndOfStream();
  virtual HRESULT SendBeginFlush();
  virtual HRESULT SendEndFlush();
  virtual HRESULT SendNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // Nothing flows into an output pin.
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP Notify(IBaseFilter* sender, Quality quality) override;

 protected:
  CComHolder<IMemAllocator> m_allocator;  // counted
  CComHolder<IMemInputPin> m_peerInput;   // counted
};
