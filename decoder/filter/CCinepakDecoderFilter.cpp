#include "filter/CCinepakDecoderFilter.h"

#include <cstring>
#include <new>

#include "cinepak/CFrameDecoder.h"
#include "cinepak/PictureConversion.h"
#include "filter/CCinepakInputPin.h"
#include "filter/CCinepakOutputPin.h"
#include "filter/DecoderIdentifiers.h"
#include "module/DecoderSetupData.h"
#include "module/FilterMapperRegistration.h"
#include "runtime/CAutoLock.h"

namespace {

// Holds a sample for the length of a delivery; its last Release may come
// from downstream's thread, so nothing touches it after this Release.
class CSampleHolder {
 public:
  CSampleHolder() = default;
  ~CSampleHolder() {
    if (m_sample != nullptr) m_sample->Release();
  }
  CSampleHolder(const CSampleHolder&) = delete;
  CSampleHolder& operator=(const CSampleHolder&) = delete;
  IMediaSample** Out() { return &m_sample; }
  IMediaSample* Get() const { return m_sample; }

 private:
  IMediaSample* m_sample = nullptr;  // counted
};

}  // namespace

CInnerUnknown* CreateCinepakDecoderFilter(IUnknown* outer, HRESULT* result) {
  return new (std::nothrow) CCinepakDecoderFilter(outer, result);
}

CCinepakDecoderFilter::CCinepakDecoderFilter(IUnknown* outer, HRESULT* result)
    : CFilterBase("CCinepakDecoderFilter", outer, &m_filterLock, CLSID_TessalyCinepakDecoder),
      m_input(nullptr),
      m_output(nullptr),
      m_picture(nullptr),
      m_pictureBytes(0),
      m_discontinuity(true) {
  InitializeCriticalSection(&m_stateLock);
  InitializeCriticalSection(&m_filterLock);
  InitializeCriticalSection(&m_receiveLock);
  m_input = new (std::nothrow) CCinepakInputPin(this, result);
  if (m_input != nullptr) {
    m_output = new (std::nothrow) CCinepakOutputPin(this, result, static_cast<IPin*>(m_input));
  }
  if ((m_input == nullptr || m_output == nullptr || !m_books.Valid()) && result != nullptr) {
    *result = E_OUTOFMEMORY;
  }
}

CCinepakDecoderFilter::~CCinepakDecoderFilter() {
  delete m_output;
  delete m_input;
  delete[] m_picture;
  DeleteCriticalSection(&m_receiveLock);
  DeleteCriticalSection(&m_filterLock);
  DeleteCriticalSection(&m_stateLock);
}

CPinBase* CCinepakDecoderFilter::PinAt(int index) {
  if (index == 0) return m_input;
  if (index == 1) return m_output;
  return nullptr;
}

const AMOVIESETUP_FILTER* CCinepakDecoderFilter::SetupData() { return CinepakDecoderSetupData(); }

STDMETHODIMP CCinepakDecoderFilter::Register() { return RegisterFilterSetup(SetupData()); }

STDMETHODIMP CCinepakDecoderFilter::Unregister() { return UnregisterFilterSetup(SetupData()); }

STDMETHODIMP CCinepakDecoderFilter::Pause() {
  CAutoLock state(&m_stateLock);
  if (m_state != State_Stopped) {
    m_state = State_Paused;
    return S_OK;
  }
  if (m_output->IsConnected()) {
    HRESULT hr = m_output->Activate();
    if (FAILED(hr)) return hr;
  }
  {
    CAutoLock receive(&m_receiveLock);
    ResetPicture();
  }
  m_state = State_Paused;
  // Nothing will ever feed the renderer: it hears the stream's end now, so
  // that its Pause completes.
  if (!m_input->IsConnected() && m_output->IsConnected()) {
    m_output->SendEndOfStream();
  }
  return S_OK;
}

STDMETHODIMP CCinepakDecoderFilter::Stop() {
  CAutoLock state(&m_stateLock);
  if (m_state == State_Stopped) return S_OK;
  // Stopped first, so that a frame arriving now is refused; then the
  // allocators decommitted, so that a delivery waiting for a buffer returns;
  // only then is the frame in progress waited for.
  m_state = State_Stopped;
  if (m_input->IsConnected()) m_input->Deactivate();
  if (m_output->IsConnected()) m_output->Deactivate();
  CAutoLock receive(&m_receiveLock);
  ResetPicture();
  return S_OK;
}

HRESULT CCinepakDecoderFilter::TestInputType(const AM_MEDIA_TYPE* type, bool connected) {
  FrameSize size;
  HRESULT hr = ReadCinepakType(type, &size);
  if (hr != S_OK) return hr;
  // Another size mid-stream would make every buffer and the picture wrong.
  if (connected && (size.width != m_size.width || size.height != m_size.height)) return S_FALSE;
  return S_OK;
}

HRESULT CCinepakDecoderFilter::InputConnected(const AM_MEDIA_TYPE* type) {
  FrameSize size;
  if (ReadCinepakType(type, &size) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  const size_t bytes = static_cast<size_t>(size.width) * size.height * 4;
  if (bytes != m_pictureBytes) {
    uint8_t* picture = new (std::nothrow) uint8_t[bytes];
    if (picture == nullptr) return E_OUTOFMEMORY;
    delete[] m_picture;
    m_picture = picture;
    m_pictureBytes = bytes;
  }
  m_size = size;
  ResetPicture();
  return S_OK;
}

void CCinepakDecoderFilter::ResetPicture() {
  m_books.Reset();
  if (m_picture != nullptr) std::memset(m_picture, 0, m_pictureBytes);
  m_discontinuity = true;
}

HRESULT CCinepakDecoderFilter::TestOutputType(const AM_MEDIA_TYPE* type, OutputFormat* format) {
  if (m_input == nullptr || !m_input->IsConnected()) return S_FALSE;
  return ReadOutputType(type, m_size, format);
}

HRESULT CCinepakDecoderFilter::OfferOutputType(int index, CMediaTypeRecord* type) {
  if (!m_input->IsConnected()) return VFW_E_NOT_CONNECTED;
  return BuildOutputType(index, m_size, type);
}

void CCinepakDecoderFilter::AdoptOutputFormat(const OutputFormat& format) {
  // Connections change only while the filter is stopped, when nothing is
  // received: no lock, so the filter lock is never held into the receive lock.
  m_format = format;
}

HRESULT CCinepakDecoderFilter::DecodeAndDeliver(IMediaSample* sample,
                                                const AM_SAMPLE2_PROPERTIES& properties) {
  CAutoLock receive(&m_receiveLock);
  // A Stop or a flush may have come between the pin's check and this lock.
  HRESULT hr = m_input->ReceiveState();
  if (hr != S_OK) return hr;
  if (m_picture == nullptr) return VFW_E_NOT_CONNECTED;

  const tessaly::cinepak::PictureView view{m_picture,
                                           m_size.width,
                                           m_size.height,
                                           static_cast<size_t>(m_size.width) * 4,
                                           tessaly::cinepak::PixelLayout::Bgrx32,
                                           false};
  const BYTE* frame = properties.pbBuffer;
  const LONG length = properties.lActual;
  const bool damaged =
      frame == nullptr || length < 0 || length > properties.cbBuffer ||
      tessaly::cinepak::DecodeFrame(frame, static_cast<size_t>(length < 0 ? 0 : length), m_books,
                                    view) != tessaly::cinepak::DecodeStatus::kOk;
  if ((properties.dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY) != 0) m_discontinuity = true;
  // Decoded, since later frames build on it, but not shown: the first
  // picture a player shows after a seek is the one it asked for.
  if ((properties.dwSampleFlags & AM_SAMPLE_PREROLL) != 0) {
    if (damaged) m_discontinuity = true;
    return S_OK;
  }
  if (!m_output->IsConnected()) return S_OK;

  CSampleHolder out;
  hr = m_output->GetOutputSample(out.Out(), nullptr, nullptr, 0);
  if (FAILED(hr) || out.Get() == nullptr) {
    // Stop decommitted the allocator: the frame simply ends here.
    return m_state == State_Stopped ? VFW_E_WRONG_STATE : hr;
  }
  hr = FollowSampleType(out.Get());
  if (FAILED(hr)) return hr;
  return FillAndSend(out.Get(), properties, damaged);
}

HRESULT CCinepakDecoderFilter::FollowSampleType(IMediaSample* out) {
  AM_MEDIA_TYPE* type = nullptr;
  if (out->GetMediaType(&type) != S_OK || type == nullptr) return S_OK;
  OutputFormat format;
  HRESULT hr = TestOutputType(type, &format);
  if (hr == S_OK) {
    // The pin's own record follows, so that ConnectionMediaType tells the
    // truth; the filter lock guards it, taken inside the receive lock.
    CAutoLock pins(&m_filterLock);
    hr = static_cast<CPinBase*>(m_output)->CPinBase::AdoptMediaType(
        static_cast<const CMediaTypeRecord*>(type));
    m_format = format;
  } else {
    hr = VFW_E_TYPE_NOT_ACCEPTED;
  }
  DeleteMediaTypeCopy(type);
  return hr;
}

HRESULT CCinepakDecoderFilter::FillAndSend(IMediaSample* out,
                                           const AM_SAMPLE2_PROPERTIES& properties, bool damaged) {
  BYTE* pixels = nullptr;
  if (FAILED(out->GetPointer(&pixels)) || pixels == nullptr) return E_POINTER;
  // The buffer is the allocator's: whatever the types said, nothing is
  // written past what it holds.
  const LONG size = out->GetSize();
  if (size < 0 || static_cast<size_t>(size) < m_format.imageBytes) return VFW_E_BUFFER_OVERFLOW;
  const tessaly::cinepak::OutputPicture target{pixels,          m_size.width,    m_size.height,
                                               m_format.stride, m_format.layout, m_format.bottomUp};
  if (!tessaly::cinepak::ConvertPicture(m_picture, static_cast<size_t>(m_size.width) * 4, target)) {
    return E_UNEXPECTED;
  }
  out->SetActualDataLength(static_cast<LONG>(m_format.imageBytes));
  if ((properties.dwSampleFlags & AM_SAMPLE_TIMEVALID) != 0) {
    REFERENCE_TIME start = properties.tStart;
    REFERENCE_TIME stop = properties.tStop;
    out->SetTime(&start, (properties.dwSampleFlags & AM_SAMPLE_STOPVALID) != 0 ? &stop : nullptr);
  } else {
    out->SetTime(nullptr, nullptr);
  }
  out->SetSyncPoint(TRUE);
  out->SetPreroll(FALSE);
  // A damaged frame shows what the picture held for what it could not
  // decode, and says so.
  out->SetDiscontinuity(m_discontinuity || damaged ? TRUE : FALSE);
  m_discontinuity = damaged;
  return m_output->SendSample(out);
}

HRESULT CCinepakDecoderFilter::DeliverEndOfStream() {
  CAutoLock receive(&m_receiveLock);
  if (!m_output->IsConnected()) return S_OK;
  return m_output->SendEndOfStream();
}

HRESULT CCinepakDecoderFilter::DeliverBeginFlush() {
  // Not under the receive lock: downstream's flush is what releases a
  // delivery that holds it.
  if (!m_output->IsConnected()) return S_OK;
  return m_output->SendBeginFlush();
}

HRESULT CCinepakDecoderFilter::DeliverEndFlush() {
  CAutoLock receive(&m_receiveLock);
  // What comes after a flush starts from a key frame.
  ResetPicture();
  if (!m_output->IsConnected()) return S_OK;
  return m_output->SendEndFlush();
}

HRESULT CCinepakDecoderFilter::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop,
                                                 double rate) {
  if (!m_output->IsConnected()) return S_OK;
  return m_output->SendNewSegment(start, stop, rate);
}
