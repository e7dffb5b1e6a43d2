#pragma once

#include "Platform.h"
#include "framework/CInputPinBase.h"

class CCinepakDecoderFilter;

// The decoder's input: 'cvid' video of one picture size; a sample that
// brings another size mid-stream is refused. With the install-time choice
// "FILM only" it connects to the FILM splitter alone. Every sample, flush, segment
// and end of stream goes on to the filter, which decodes and passes them on.
class CCinepakInputPin : public CInputPinBase {
 public:
  CCinepakInputPin(CCinepakDecoderFilter* filter, HRESULT* result);

  HRESULT TestMediaType(const CMediaTypeRecord* type) override;
  // Refuses any upstream filter but the FILM splitter when the user chose so.
  HRESULT PreparePeer(IPin* other) override;
  HRESULT FinishConnection(IPin* peer) override;

  STDMETHODIMP Receive(IMediaSample* sample) override;
  STDMETHODIMP EndOfStream() override;
  STDMETHODIMP BeginFlush() override;
  STDMETHODIMP EndFlush() override;
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;
  // Frames are decoded in the caller's thread, which may wait downstream.
  STDMETHODIMP ReceiveCanBlock() override { return S_OK; }

 private:
  CCinepakDecoderFilter* m_filter;  // not counted: the filter owns the pin
};
