#pragma once

#include <cstdint>

#include "Platform.h"
#include "cinepak/CCodebooks.h"
#include "filter/VideoFormats.h"
#include "framework/CFilterBase.h"

class CCinepakInputPin;
class CCinepakOutputPin;

// The Cinepak decoder filter: 'cvid' frames in, pictures out. It keeps its
// own picture (the codebooks and the pixels every inter frame builds on),
// decodes each frame into it on the caller's thread, preroll frames included,
// and copies it into the renderer's buffer in the renderer's layout.
//
// Locks: the state lock (Pause, Run, Stop, connections) before the receive
// lock, which a frame's delivery and a flush's end hold; the filter lock (the
// pins') is taken inside the receive lock when a renderer's new type is
// recorded, and never held while the receive lock is awaited. Stop
// decommits the output before it takes the receive lock, so a delivery
// waiting for a buffer returns.
class CCinepakDecoderFilter : public CFilterBase {
 public:
  // result receives E_OUTOFMEMORY when a pin cannot be made; the creator must
  // then discard the object.
  CCinepakDecoderFilter(IUnknown* outer, HRESULT* result);
  ~CCinepakDecoderFilter() override;

  int PinCount() override { return 2; }
  CPinBase* PinAt(int index) override;
  const AMOVIESETUP_FILTER* SetupData() override;
  CRITICAL_SECTION* StateLock() override { return &m_stateLock; }
  CRITICAL_SECTION* FilterLock() { return &m_filterLock; }

  // IMediaFilter
  STDMETHODIMP Stop() override;
  STDMETHODIMP Pause() override;

  // IAMovieSetup
  STDMETHODIMP Register() override;
  STDMETHODIMP Unregister() override;

  // For the input pin. connected: a sample's type, which must keep the size.
  HRESULT TestInputType(const AM_MEDIA_TYPE* type, bool connected);
  HRESULT InputConnected(const AM_MEDIA_TYPE* type);
  HRESULT DecodeAndDeliver(IMediaSample* sample, const AM_SAMPLE2_PROPERTIES& properties);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);

  // For the output pin.
  HRESULT TestOutputType(const AM_MEDIA_TYPE* type, OutputFormat* format);
  HRESULT OfferOutputType(int index, CMediaTypeRecord* type);
  void AdoptOutputFormat(const OutputFormat& format);

 private:
  // Black picture, empty codebooks: what a stream starts from and what a
  // flush or Stop goes back to. Called under the receive lock or while
  // nothing is received.
  void ResetPicture();
  // The renderer may attach a new type to the buffer it hands out.
  HRESULT FollowSampleType(IMediaSample* out);
  HRESULT FillAndSend(IMediaSample* out, const AM_SAMPLE2_PROPERTIES& properties, bool damaged);

  CRITICAL_SECTION m_stateLock;
  CRITICAL_SECTION m_filterLock;
  CRITICAL_SECTION m_receiveLock;
  CCinepakInputPin* m_input;    // owned
  CCinepakOutputPin* m_output;  // owned
  FrameSize m_size;             // set while the input connects, when nothing streams
  // Under the receive lock while streaming; set by connections while stopped.
  OutputFormat m_format;
  tessaly::cinepak::CCodebooks m_books;
  uint8_t* m_picture;  // owned: m_size's pixels, 4 bytes each, top-down
  size_t m_pictureBytes;
  bool m_discontinuity;  // the next picture sent follows a gap or damage
};

CInnerUnknown* CreateCinepakDecoderFilter(IUnknown* outer, HRESULT* result);
