#include "splitter/CCpkSplitterFilter.h"

#include <new>

#include "com/WideString.h"
#include "film/FilmLayout.h"
#include "module/FilterMapperRegistration.h"
#include "module/SetupData.h"
#include "position/CCpkSplitterPos.h"
#include "runtime/CAutoLock.h"
#include "shaping/OutputMediaTypes.h"
#include "shaping/PayloadConversion.h"
#include "shaping/SampleTiming.h"
#include "splitter/CCpkSplitterInputPin.h"
#include "splitter/CCpkSplitterOutputPin.h"
#include "splitter/SplitterIdentifiers.h"

namespace {

// A video chunk stores two bytes at 10-11 that the delivered frame drops.
constexpr DWORD kVideoHeadLength = 10;
constexpr DWORD kVideoBodyOffset = 12;

// Gives a sample back to its allocator on every path out of a row.
class CSampleHolder {
 public:
  CSampleHolder() = default;
  ~CSampleHolder() {
    if (m_sample != nullptr) {
      m_sample->Release();
    }
  }
  CSampleHolder(const CSampleHolder&) = delete;
  CSampleHolder& operator=(const CSampleHolder&) = delete;

  IMediaSample** Slot() { return &m_sample; }
  IMediaSample* operator->() const { return m_sample; }
  IMediaSample* Get() const { return m_sample; }

 private:
  IMediaSample* m_sample = nullptr;  // counted
};

// The sample's buffer, or a failure when it is missing or shorter than the
// payload: a hostile chunk must never be written past the buffer's end.
HRESULT PayloadBuffer(IMediaSample* sample, DWORD payloadLength, BYTE** buffer) {
  *buffer = nullptr;
  HRESULT hr = sample->GetPointer(buffer);
  if (FAILED(hr)) {
    return hr;
  }
  LONG size = sample->GetSize();
  if (*buffer == nullptr || size < 0 || payloadLength > static_cast<DWORD>(size)) {
    return VFW_E_BUFFER_OVERFLOW;
  }
  return S_OK;
}

}  // namespace

CCpkSplitterFilter::CCpkSplitterFilter(IUnknown* outer, HRESULT* result)
    : CSplitterFilterBase("CCpkSplitterFilter", outer, &m_filterLock, CLSID_CpkSplitter),
      m_position(nullptr),
      m_stream(result) {
  InitializeCriticalSection(&m_filterLock);
  InitializeCriticalSection(&m_pinListLock);
  m_inputPin = new (std::nothrow) CCpkSplitterInputPin(this, result, WIDE("Input"));
  if (m_inputPin == nullptr && result != nullptr) {
    *result = E_OUTOFMEMORY;
  }
}

CCpkSplitterFilter::~CCpkSplitterFilter() {
  EndWorker();
  delete m_position;
  m_position = nullptr;
  // The pins go before the lock they share.
  DeletePins();
  DeleteCriticalSection(&m_pinListLock);
  DeleteCriticalSection(&m_filterLock);
}

CInnerUnknown* CreateCpkSplitterFilter(IUnknown* outer, HRESULT* result) {
  return new (std::nothrow) CCpkSplitterFilter(outer, result);
}

HRESULT CCpkSplitterFilter::InnerQueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IMediaPosition) && m_position != nullptr) {
    return m_position->InnerQueryInterface(riid, ppv);
  }
  return CSplitterFilterBase::InnerQueryInterface(riid, ppv);
}

int CCpkSplitterFilter::PinCount() {
  CAutoLock lock(&m_pinListLock);
  int count = 0;
  if (m_inputPin != nullptr) {
    ++count;
  }
  if (m_audioPin != nullptr) {
    ++count;
  }
  if (m_videoPin != nullptr) {
    ++count;
  }
  return count;
}

CPinBase* CCpkSplitterFilter::PinAt(int index) {
  CAutoLock lock(&m_pinListLock);
  CPinBase* pins[] = {m_inputPin, m_audioPin, m_videoPin};
  for (CPinBase* pin : pins) {
    if (pin == nullptr) {
      continue;
    }
    if (index == 0) {
      return pin;
    }
    --index;
  }
  return nullptr;
}

const AMOVIESETUP_FILTER* CCpkSplitterFilter::SetupData() { return CpkSplitterSetupData(); }

STDMETHODIMP CCpkSplitterFilter::Register() { return RegisterFilterSetup(SetupData()); }

STDMETHODIMP CCpkSplitterFilter::Unregister() { return UnregisterFilterSetup(SetupData()); }

HRESULT CCpkSplitterFilter::TestInputType(const AM_MEDIA_TYPE* type) {
  if (type == nullptr) {
    return E_POINTER;
  }
  return IsEqualGUID(type->subtype, MEDIASUBTYPE_CpkFilm) ? S_OK : S_FALSE;
}

HRESULT CCpkSplitterFilter::OnInputConnected(DWORD reserved, IPin* upstream) {
  // Replacing a pin that is still connected would orphan its downstream
  // connection; the earlier file's outputs must be disconnected first.
  if (AnyOutputConnected()) {
    return VFW_E_ALREADY_CONNECTED;
  }
  HRESULT hr = m_stream.ParseStreamDescription(m_inputPin);
  if (FAILED(hr)) {
    return hr;
  }
  {
    CAutoLock lock(&m_pinListLock);
    hr = RetireOutputPins();
  }
  if (FAILED(hr)) {
    return hr;
  }

  if (m_stream.m_waveFormat.nChannels > 0) {
    CMediaTypeRecord audioType;
    if (SUCCEEDED(BuildAudioMediaType(m_stream.m_waveFormat, &audioType))) {
      CreateOfferingPin(&m_audioPin, WIDE("Audio"), audioType);
    }
  }
  if (m_stream.m_videoChunkCount > 0) {
    CMediaTypeRecord videoType;
    if (SUCCEEDED(BuildVideoMediaType(m_stream.m_videoInfo, &videoType))) {
      CreateOfferingPin(&m_videoPin, WIDE("Video"), videoType);
    }
  }
  InterlockedIncrement(&m_pinListVersion);
  if (m_audioPin == nullptr && m_videoPin == nullptr) {
    return VFW_E_TYPE_NOT_ACCEPTED;
  }
  return CreatePosition();
}

void CCpkSplitterFilter::CreateOfferingPin(COutputPinBase** pinField, LPCWSTR name,
                                           const CMediaTypeRecord& type) {
  if (ReuseRetiredPin(pinField, name, type)) {
    return;
  }
  if (FAILED(CreateOutputPin(pinField, name))) {
    return;
  }
  CCpkSplitterOutputPin* pin = static_cast<CCpkSplitterOutputPin*>(*pinField);
  if (SUCCEEDED(pin->AddOfferedType(type))) {
    return;
  }
  // A pin without its type could never connect; nobody has seen it yet.
  {
    CAutoLock lock(&m_pinListLock);
    *pinField = nullptr;
  }
  delete pin;
}

BOOL CCpkSplitterFilter::ReuseRetiredPin(COutputPinBase** pinField, LPCWSTR name,
                                         const CMediaTypeRecord& type) {
  CPointerList::Position position = m_retiredPins.FirstPosition();
  while (position != nullptr) {
    CPointerList::Position current = position;
    auto* pin = static_cast<CCpkSplitterOutputPin*>(m_retiredPins.NextObject(position));
    if (pin->IsConnected() || WideCompare(pin->PinName(), name) != 0) {
      continue;
    }
    // A caller may still hold the pin from the earlier file, so it is never
    // deleted: it leaves the list only once it offers the new type.
    if (FAILED(pin->ReplaceOfferedTypes(type))) {
      return TRUE;
    }
    CAutoLock lock(&m_pinListLock);
    m_retiredPins.RemoveAt(current);
    *pinField = pin;
    return TRUE;
  }
  return FALSE;
}

HRESULT CCpkSplitterFilter::CreateOutputPin(COutputPinBase** pinField, LPCWSTR name) {
  HRESULT hr = S_OK;
  CCpkSplitterOutputPin* pin = new (std::nothrow) CCpkSplitterOutputPin(this, &hr, name);
  if (pin == nullptr) {
    return E_OUTOFMEMORY;
  }
  if (FAILED(hr)) {
    delete pin;
    return hr;
  }
  CAutoLock lock(&m_pinListLock);
  *pinField = pin;
  return S_OK;
}

HRESULT CCpkSplitterFilter::CreatePosition() {
  // A later connection keeps the position object: it reads whatever the
  // stream description holds, and a graph may still hold its interface.
  if (m_position != nullptr) {
    return S_OK;
  }
  HRESULT hr = S_OK;
  CCpkSplitterPos* position = new (std::nothrow)
      CCpkSplitterPos(OuterUnknown(), &hr, static_cast<IPin*>(m_inputPin), &m_stream);
  if (position == nullptr) {
    // The movie still plays; only its duration goes unanswered.
    return S_OK;
  }
  if (FAILED(hr)) {
    delete position;
    return hr;
  }
  m_position = position;
  return S_OK;
}

HRESULT CCpkSplitterFilter::StreamSamples(CStreamWorker* worker) {
  const bool audio = worker->Stream() == kAudioStream;
  FilmSampleEntry row = {};
  while (m_stream.ReadSampleEntry(worker->m_rowIndex, &row)) {
    if (worker->ShouldLeave()) {
      return S_OK;
    }
    if ((row.timeInfo == film::kAudioTimeInfo) == audio) {
      HRESULT hr = audio ? DeliverAudio(row, worker) : DeliverVideo(row, worker);
      // Stop has decommitted the output: the stream is over, not finished.
      if (hr == VFW_E_NOT_COMMITTED) {
        return hr;
      }
    }
    ++worker->m_rowIndex;
  }
  SignalEndOfStream(worker->Stream());
  return S_OK;
}

DWORD CCpkSplitterFilter::ChunkPosition(const FilmSampleEntry& row, DWORD skip) const {
  // The file's offsets are 32-bit fields and every read of a chunk, at its
  // start or inside it, takes their sum in 32 bits, on every pointer width.
  return m_stream.m_dataOffset + row.chunkOffset + skip;
}

HRESULT CCpkSplitterFilter::DeliverAudio(const FilmSampleEntry& row, CStreamWorker* worker) {
  COutputPinBase* pin = m_audioPin;
  if (pin == nullptr) {
    return VFW_E_NOT_CONNECTED;
  }
  const DWORD length = row.chunkLength;
  BYTE* staging = m_stream.m_stagingBuffer.get();
  if (staging == nullptr || length > film::kStagingBufferLength) {
    return VFW_E_BUFFER_OVERFLOW;
  }
  CSampleHolder sample;
  HRESULT hr = pin->GetOutputSample(sample.Slot(), nullptr, nullptr, 0);
  if (FAILED(hr) || sample.Get() == nullptr) {
    return FAILED(hr) ? hr : E_UNEXPECTED;
  }
  BYTE* buffer = nullptr;
  hr = PayloadBuffer(sample.Get(), length, &buffer);
  if (FAILED(hr)) {
    return hr;
  }
  hr = m_inputPin->ReadAt(ChunkPosition(row, 0), static_cast<LONG>(length), staging);
  if (FAILED(hr)) {
    return hr;
  }
  const WAVEFORMATEX& format = m_stream.m_waveFormat;
  ConvertAudioChunk(staging, length, format.nChannels, format.wBitsPerSample, buffer);

  REFERENCE_TIME start = worker->m_streamTime;
  REFERENCE_TIME stop = AdvanceTime(start, AudioChunkDuration(length, format.nAvgBytesPerSec));
  sample->SetTime(&start, &stop);
  sample->SetMediaTime(&start, &stop);
  sample->SetActualDataLength(static_cast<LONG>(length));
  hr = pin->SendSample(sample.Get());
  if (SUCCEEDED(hr)) {
    worker->m_streamTime = stop;
  }
  return hr;
}

HRESULT CCpkSplitterFilter::DeliverVideo(const FilmSampleEntry& row, CStreamWorker* worker) {
  COutputPinBase* pin = m_videoPin;
  if (pin == nullptr) {
    return VFW_E_NOT_CONNECTED;
  }
  const DWORD length = row.chunkLength;
  if (length < kVideoBodyOffset) {
    return VFW_E_INVALIDMEDIATYPE;
  }
  const DWORD frameLength = length - (kVideoBodyOffset - kVideoHeadLength);
  CSampleHolder sample;
  HRESULT hr = pin->GetOutputSample(sample.Slot(), nullptr, nullptr, 0);
  if (FAILED(hr) || sample.Get() == nullptr) {
    return FAILED(hr) ? hr : E_UNEXPECTED;
  }
  BYTE* buffer = nullptr;
  hr = PayloadBuffer(sample.Get(), frameLength, &buffer);
  if (FAILED(hr)) {
    return hr;
  }
  // A frame whose head could not be read would go out with the previous
  // frame's header bytes in it.
  hr = m_inputPin->ReadAt(ChunkPosition(row, 0), kVideoHeadLength, buffer);
  if (FAILED(hr)) {
    return hr;
  }
  hr = m_inputPin->ReadAt(ChunkPosition(row, kVideoBodyOffset),
                          static_cast<LONG>(length - kVideoBodyOffset), buffer + kVideoHeadLength);
  if (FAILED(hr)) {
    return hr;
  }
  AdjustVideoFrame(buffer, frameLength);

  REFERENCE_TIME start = worker->m_streamTime;
  REFERENCE_TIME stop =
      AdvanceTime(start, VideoFrameDuration(row.durationTicks, m_stream.m_timeBase));
  sample->SetMediaTime(&start, &stop);
  sample->SetTime(&start, &stop);
  sample->SetActualDataLength(static_cast<LONG>(frameLength));
  sample->SetSyncPoint((row.timeInfo & film::kNotSyncPointFlag) == 0 ? TRUE : FALSE);
  hr = pin->SendSample(sample.Get());
  if (SUCCEEDED(hr)) {
    worker->m_streamTime = stop;
  }
  return hr;
}
