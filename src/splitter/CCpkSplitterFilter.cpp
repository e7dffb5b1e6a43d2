#include "splitter/CCpkSplitterFilter.h"

#include <initializer_list>
#include <limits>
#include <new>

#include "com/WideString.h"
#include "film/FilmLayout.h"
#include "film/FilmRowPlan.h"
#include "film/FilmRules.h"
#include "module/FilterMapperRegistration.h"
#include "module/SetupData.h"
#include "position/CCpkSplitterPos.h"
#include "runtime/CAutoLock.h"
#include "shaping/OutputMediaTypes.h"
#include "shaping/PayloadConversion.h"
#include "splitter/CCpkChunkReader.h"
#include "splitter/CCpkSplitterInputPin.h"
#include "splitter/CCpkSplitterOutputPin.h"
#include "splitter/SplitterIdentifiers.h"

namespace {

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
      m_stream(result),
      m_audioConverters(ChooseAudioConverters()),
      m_lossesReported(0),
      m_segmentStart(0),
      m_segmentStop(kNoStop),
      m_joinableSeek(kNoJoin) {
  InitializeCriticalSection(&m_filterLock);
  InitializeCriticalSection(&m_pinListLock);
  InitializeCriticalSection(&m_indexLock);
  m_inputPin = new (std::nothrow) CCpkSplitterInputPin(this, result, WIDE("Input"));
  if (m_inputPin == nullptr) {
    if (result != nullptr) {
      *result = E_OUTOFMEMORY;
    }
    return;
  }
  // The position object lives as long as the filter, so the filter answers
  // the same interfaces from birth to end.
  const HRESULT positionResult = CreatePosition();
  if (FAILED(positionResult) && result != nullptr) {
    *result = positionResult;
  }
}

CCpkSplitterFilter::~CCpkSplitterFilter() {
  EndWorker();
  delete m_position;
  m_position = nullptr;
  // The pins go before the lock they share.
  DeletePins();
  DeleteCriticalSection(&m_indexLock);
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
  // IMediaPosition is a dual interface: IDispatch on this filter is the
  // position object's, whose Invoke reaches the same members.
  if ((IsEqualGUID(riid, IID_IMediaPosition) || IsEqualGUID(riid, IID_IDispatch)) &&
      m_position != nullptr) {
    return m_position->InnerQueryInterface(IID_IMediaPosition, ppv);
  }
  return CSplitterFilterBase::InnerQueryInterface(riid, ppv);
}

int CCpkSplitterFilter::PinCount() {
  CAutoLock lock(&m_pinListLock);
  int count = 0;
  if (m_inputPin != nullptr) {
    ++count;
  }
  for (const COutputPinBase* pin : m_outputPins) {
    if (pin != nullptr) {
      ++count;
    }
  }
  return count;
}

CPinBase* CCpkSplitterFilter::PinAt(int index) {
  CAutoLock lock(&m_pinListLock);
  CPinBase* pins[] = {m_inputPin, m_outputPins[kAudioStream], m_outputPins[kVideoStream]};
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
  {
    // A new file starts at its beginning, with nothing indexed.
    CAutoLock index(&m_indexLock);
    m_index.Clear();
    m_segmentStart = 0;
    m_segmentStop = kNoStop;
    m_joinableSeek = kNoJoin;
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
      CreateOfferingPin(&m_outputPins[kAudioStream], WIDE("Audio"), audioType);
    }
  }
  if (m_stream.m_videoChunkCount > 0) {
    CMediaTypeRecord videoType;
    if (SUCCEEDED(BuildVideoMediaType(m_stream.m_videoInfo, &videoType))) {
      CreateOfferingPin(&m_outputPins[kVideoStream], WIDE("Video"), videoType);
    }
  }
  InterlockedIncrement(&m_pinListVersion);
  if (m_outputPins[kAudioStream] == nullptr && m_outputPins[kVideoStream] == nullptr) {
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
  const int stream = pinField == &m_outputPins[kAudioStream] ? kAudioStream : kVideoStream;
  CCpkSplitterOutputPin* pin = new (std::nothrow) CCpkSplitterOutputPin(this, &hr, name, stream);
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
  // Made with the filter; a connection keeps it: it reads whatever the
  // stream description holds, and a graph may still hold its interface.
  if (m_position != nullptr) {
    return S_OK;
  }
  HRESULT hr = S_OK;
  CCpkSplitterPos* position = new (std::nothrow)
      CCpkSplitterPos(OuterUnknown(), &hr, static_cast<IPin*>(m_inputPin), *this);
  if (position == nullptr) {
    return E_OUTOFMEMORY;
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
  CStreamRun& run = worker->Run();
  COutputPinBase* pin = OutputPin(worker->Stream());
  if (pin != nullptr && run.TakeNewSegment()) {
    // Before the run's first sample: renderers time samples from its start.
    const REFERENCE_TIME stop = run.SegmentStop();
    pin->SendNewSegment(run.SegmentStart(), stop == kNoStop ? Duration() : stop, 1.0);
  }
  const DWORD headroom =
      pin != nullptr ? static_cast<CCpkSplitterOutputPin*>(pin)->BufferHeadroom() : 0;
  CCpkChunkReader chunks(m_stream, *m_inputPin, run, headroom);
  // Rows from the end row on hold nothing the file has: they are never read.
  LONGLONG fileLength = m_inputPin->AvailableLength();
  run.SetEndRow(m_stream.StreamEndRow(audio ? TRUE : FALSE, fileLength));
  // The end row is never past the rows the table admits.
  for (; run.HasRow(); run.NextRow()) {
    if (worker->ShouldLeave() || StreamsEnding()) {
      return S_OK;
    }
    const film::RowPlan plan =
        m_stream.PlanRow(m_stream.RowAt(run.Row()), m_inputPin->AvailableLength());
    if (plan.audio != audio) {
      continue;
    }
    if (run.PastStop()) {
      break;
    }
    const RowResult result =
        audio ? DeliverAudio(plan, chunks, run) : DeliverVideo(plan, chunks, run);
    if (result.kind == RowResult::kHalted) {
      return result.cause;
    }
    if (result.kind == RowResult::kLost) {
      AccountLoss(plan.row, run, result.cause);
    }
    // A read that came short has shown a file shorter than it was.
    if (m_inputPin->AvailableLength() != fileLength) {
      fileLength = m_inputPin->AvailableLength();
      run.SetEndRow(m_stream.StreamEndRow(audio ? TRUE : FALSE, fileLength));
    }
  }
  // A stream that Stop or a seek cut short has not ended.
  if (StreamsEnding()) {
    return S_OK;
  }
  // A file that grew after the parse still lacks the rows it did not have.
  if (fileLength < m_stream.FileEnd() || !m_stream.TableReadWhole()) {
    ReportLoss(VFW_E_FILE_TOO_SHORT);
  }
  SignalEndOfStream(worker->Stream());
  return S_OK;
}

void CCpkSplitterFilter::AccountLoss(const FilmSampleEntry& row, CStreamRun& run, HRESULT cause) {
  run.Lost(m_stream.RowDuration(row));
  ReportLoss(cause);
}

void CCpkSplitterFilter::ReportLoss(HRESULT cause) {
  // Playing what exists is a success, so not an abort: the graph learns once
  // an activation of each kind of loss, and completes.
  DWORD kind = kLossReadFailure;
  if (cause == VFW_E_FILE_TOO_SHORT) {
    kind = kLossFileTooShort;
  } else if (cause == VFW_E_BUFFER_OVERFLOW) {
    kind = kLossBufferOverflow;
  } else if (cause == VFW_E_INVALIDMEDIATYPE) {
    kind = kLossInvalidChunk;
  }
  if ((m_lossesReported.fetch_or(kind) & kind) != 0) {
    return;
  }
  NotifyGraph(EC_STREAM_ERROR_STILLPLAYING, static_cast<LONG_PTR>(cause), 0);
}

CCpkSplitterFilter::RowResult CCpkSplitterFilter::FailedRow(HRESULT hr, HRESULT loss) {
  if (hr == VFW_E_NOT_COMMITTED) {
    return {RowResult::kHalted, hr};
  }
  if (loss != S_OK) {
    return {RowResult::kLost, loss};
  }
  return {RowResult::kRefused, hr};
}

namespace {

// Why the graph hears that a row the plan refuses was lost.
HRESULT LossCause(film::RowFate fate) {
  switch (fate) {
    case film::RowFate::kTooLong:
      return VFW_E_BUFFER_OVERFLOW;
    case film::RowFate::kNoFrame:
      return VFW_E_INVALIDMEDIATYPE;
    default:
      return VFW_E_FILE_TOO_SHORT;
  }
}

// The cause of a loss a failed read shows: bytes missing (S_FALSE) or the
// read's own failure.
HRESULT ReadLoss(HRESULT hr) { return hr == S_FALSE ? VFW_E_FILE_TOO_SHORT : hr; }

// A sample buffer too short for the payload loses the row; any other
// failure of the buffer only drops it.
HRESULT BufferLoss(HRESULT hr) { return hr == VFW_E_BUFFER_OVERFLOW ? hr : S_OK; }

}  // namespace

CCpkSplitterFilter::RowResult CCpkSplitterFilter::DeliverAudio(const film::RowPlan& plan,
                                                               CCpkChunkReader& chunks,
                                                               CStreamRun& run) {
  COutputPinBase* pin = m_outputPins[kAudioStream];
  if (pin == nullptr) {
    return {RowResult::kRefused, VFW_E_NOT_CONNECTED};
  }
  if (m_stream.m_stagingBuffer == nullptr) {
    return {RowResult::kLost, VFW_E_BUFFER_OVERFLOW};
  }
  if (plan.fate != film::RowFate::kDeliver) {
    return {RowResult::kLost, LossCause(plan.fate)};
  }
  CSampleHolder sample;
  HRESULT hr = pin->GetOutputSample(sample.Slot(), nullptr, nullptr, 0);
  if (FAILED(hr) || sample.Get() == nullptr) {
    return FailedRow(FAILED(hr) ? hr : E_UNEXPECTED, S_OK);
  }
  BYTE* buffer = nullptr;
  hr = PayloadBuffer(sample.Get(), plan.chunkLength, &buffer);
  if (FAILED(hr)) {
    return FailedRow(hr, BufferLoss(hr));
  }
  film::AudioChunkCut cut = {};
  const BYTE* stored = nullptr;
  hr = chunks.ReadAudioChunk(plan, buffer, &stored, &cut);
  if (hr != S_OK) {
    return FailedRow(hr, ReadLoss(hr));
  }
  const DWORD delivered = cut.deliveredLength;
  const WAVEFORMATEX& format = m_stream.m_waveFormat;
  ConvertAudioChunk(stored, delivered, format.nChannels, format.wBitsPerSample, m_audioConverters,
                    buffer);

  sample->SetActualDataLength(static_cast<LONG>(delivered));
  // The sample lasts as long as its bytes; the stream moves on by the whole
  // row, as a seek counts it.
  const REFERENCE_TIME start = run.Time();
  hr = SendInSegment(
      pin, sample.Get(), run,
      film::AdvanceTime(start, film::AudioChunkDuration(delivered, format.nAvgBytesPerSec)),
      film::AdvanceTime(start, m_stream.RowDuration(plan.row)));
  if (FAILED(hr)) {
    return FailedRow(hr, S_OK);
  }
  // Frames the file lacked leave a gap before the next sample, which says so.
  if (delivered < plan.wholeDeliveredLength) {
    run.MarkGap();
    ReportLoss(VFW_E_FILE_TOO_SHORT);
  }
  return {RowResult::kSent, hr};
}

CCpkSplitterFilter::RowResult CCpkSplitterFilter::DeliverVideo(const film::RowPlan& plan,
                                                               CCpkChunkReader& chunks,
                                                               CStreamRun& run) {
  COutputPinBase* pin = m_outputPins[kVideoStream];
  if (pin == nullptr) {
    return {RowResult::kRefused, VFW_E_NOT_CONNECTED};
  }
  if (plan.fate != film::RowFate::kDeliver) {
    return {RowResult::kLost, LossCause(plan.fate)};
  }
  const DWORD frameLength = plan.payloadLength;
  CSampleHolder sample;
  HRESULT hr = pin->GetOutputSample(sample.Slot(), nullptr, nullptr, 0);
  if (FAILED(hr) || sample.Get() == nullptr) {
    return FailedRow(FAILED(hr) ? hr : E_UNEXPECTED, S_OK);
  }
  BYTE* buffer = nullptr;
  hr = PayloadBuffer(sample.Get(), frameLength, &buffer);
  if (FAILED(hr)) {
    return FailedRow(hr, BufferLoss(hr));
  }
  hr = chunks.ReadVideoFrame(plan, buffer, static_cast<DWORD>(sample->GetSize()));
  if (hr != S_OK) {
    return FailedRow(hr, ReadLoss(hr));
  }
  AdjustVideoFrame(buffer, frameLength);

  sample->SetActualDataLength(static_cast<LONG>(frameLength));
  sample->SetSyncPoint((plan.row.timeInfo & film::kNotSyncPointFlag) == 0 ? TRUE : FALSE);
  const REFERENCE_TIME stop = film::AdvanceTime(run.Time(), m_stream.RowDuration(plan.row));
  hr = SendInSegment(pin, sample.Get(), run, stop, stop);
  return SUCCEEDED(hr) ? RowResult{RowResult::kSent, hr} : FailedRow(hr, S_OK);
}

HRESULT CCpkSplitterFilter::SendInSegment(COutputPinBase* pin, IMediaSample* sample,
                                          CStreamRun& run, REFERENCE_TIME stop,
                                          REFERENCE_TIME next) {
  REFERENCE_TIME start = run.Time();
  sample->SetMediaTime(&start, &stop);
  // Running times count from the segment's start; what ends before it is
  // there only so that the first picture after it can be decoded.
  const REFERENCE_TIME segmentStart = run.SegmentStart();
  REFERENCE_TIME runningStart = start - segmentStart;
  REFERENCE_TIME runningStop = stop - segmentStart;
  sample->SetTime(&runningStart, &runningStop);
  sample->SetPreroll(start < segmentStart && stop <= segmentStart ? TRUE : FALSE);
  if (run.AfterLoss()) {
    sample->SetDiscontinuity(TRUE);
  }
  HRESULT hr = pin->SendSample(sample);
  if (SUCCEEDED(hr)) {
    run.Sent(next);
  }
  return hr;
}

void CCpkSplitterFilter::PlaceRuns() {
  const REFERENCE_TIME start = m_segmentStart;
  for (CStreamWorker& worker : m_workers) {
    worker.Run().Restart(start, m_segmentStop.load());
  }
  // Without an index the streams start at their first rows, and what ends
  // before the segment goes out as preroll: slower, never wrong.
  if (start <= 0 || !EnsureIndex()) {
    return;
  }
  CAutoLock index(&m_indexLock);
  for (CStreamWorker& worker : m_workers) {
    DWORD row = 0;
    REFERENCE_TIME time = 0;
    if (m_index.FindStart(worker.Stream(), start, &row, &time)) {
      worker.Run().StartAt(row, time);
    } else {
      worker.Run().StartPastEveryRow();
    }
  }
}

BOOL CCpkSplitterFilter::EnsureIndex() {
  CAutoLock index(&m_indexLock);
  if (m_index.IsBuilt()) {
    return TRUE;
  }
  return SUCCEEDED(m_index.Build(m_stream)) ? TRUE : FALSE;
}

REFERENCE_TIME CCpkSplitterFilter::Duration() {
  if (m_stream.m_videoChunkCount > 0) {
    return film::VideoFrameDuration(m_stream.m_videoTicks, m_stream.m_timeBase);
  }
  // A movie without video lasts as long as its audio rows play.
  if (!EnsureIndex()) {
    return 0;
  }
  CAutoLock index(&m_indexLock);
  return m_index.StreamEnd(kAudioStream);
}

REFERENCE_TIME CCpkSplitterFilter::ReportedStop() {
  const REFERENCE_TIME stop = m_segmentStop;
  return stop == kNoStop ? Duration() : stop;
}

void CCpkSplitterFilter::GetPositions(REFERENCE_TIME* start, REFERENCE_TIME* stop) {
  if (start != nullptr) {
    *start = m_segmentStart;
  }
  if (stop != nullptr) {
    *stop = ReportedStop();
  }
}

namespace {

// base + offset, held inside the range of times instead of wrapping.
REFERENCE_TIME OffsetTime(REFERENCE_TIME base, LONGLONG offset) {
  if (offset < 0) {
    return base < std::numeric_limits<REFERENCE_TIME>::min() - offset
               ? std::numeric_limits<REFERENCE_TIME>::min()
               : base + offset;
  }
  return film::AdvanceTime(base, offset);
}

// The position flags ask for: nothing, a time, or a time relative to base
// (incremental: relative to the new start, which the caller passes).
HRESULT ResolvePosition(DWORD flags, const LONGLONG* value, REFERENCE_TIME base,
                        REFERENCE_TIME incrementalBase, REFERENCE_TIME* out) {
  switch (flags & AM_SEEKING_PositioningBitsMask) {
    case AM_SEEKING_NoPositioning:
      *out = base;
      return S_FALSE;
    case AM_SEEKING_AbsolutePositioning:
      *out = *value;
      return S_OK;
    case AM_SEEKING_RelativePositioning:
      *out = OffsetTime(base, *value);
      return S_OK;
    default:
      *out = OffsetTime(incrementalBase, *value);
      return S_OK;
  }
}

}  // namespace

void CCpkSplitterFilter::StateChanging() { m_joinableSeek = kNoJoin; }

bool CCpkSplitterFilter::JoinsLastSeek(int caller, REFERENCE_TIME start, bool stops,
                                       REFERENCE_TIME end) {
  const bool output = caller == kAudioCaller || caller == kVideoCaller;
  if (!output || m_joinableSeek != (caller == kAudioCaller ? kVideoCaller : kAudioCaller)) {
    return false;
  }
  if (start != m_segmentStart || (stops && end != ReportedStop())) {
    return false;
  }
  m_joinableSeek = kNoJoin;
  return true;
}

HRESULT CCpkSplitterFilter::Seek(int caller, REFERENCE_TIME start, bool stops, REFERENCE_TIME end) {
  SuspendStreaming();
  // No worker streams now: the new segment is published, and the runs that
  // begin below copy it.
  m_segmentStart = start;
  if (stops) {
    m_segmentStop = end;
  }
  // The graph reaches the other output's pin next, perhaps after a short
  // run has already ended: its call for the same place is this seek still.
  m_joinableSeek = caller == kAudioCaller || caller == kVideoCaller ? caller : kNoJoin;
  return ResumeStreaming();
}

HRESULT CCpkSplitterFilter::SetPositions(int caller, LONGLONG* current, DWORD currentFlags,
                                         LONGLONG* stop, DWORD stopFlags) {
  const DWORD startHow = currentFlags & AM_SEEKING_PositioningBitsMask;
  const DWORD stopHow = stopFlags & AM_SEEKING_PositioningBitsMask;
  if ((startHow != AM_SEEKING_NoPositioning && current == nullptr) ||
      (stopHow != AM_SEEKING_NoPositioning && stop == nullptr)) {
    return E_POINTER;
  }
  if (startHow == AM_SEEKING_IncrementalPositioning) {
    return E_INVALIDARG;
  }
  CAutoLock state(&m_stateLock);
  REFERENCE_TIME start = 0;
  const bool moves = ResolvePosition(currentFlags, current, m_segmentStart, 0, &start) == S_OK;
  REFERENCE_TIME end = 0;
  const bool stops = ResolvePosition(stopFlags, stop, ReportedStop(), start, &end) == S_OK;
  start = start < 0 ? 0 : start;
  end = end < start ? start : end;

  HRESULT hr = S_OK;
  if (moves) {
    if (!JoinsLastSeek(caller, start, stops, end)) {
      hr = Seek(caller, start, stops, end);
    }
  } else if (stops) {
    // Only where the runs end moves: nothing is flushed, and every worker
    // ends its run at the new stop.
    m_segmentStop = end;
    m_workers[kAudioStream].Run().MoveStop(end);
    m_workers[kVideoStream].Run().MoveStop(end);
  }
  if ((currentFlags & AM_SEEKING_ReturnTime) != 0 && current != nullptr) {
    *current = m_segmentStart;
  }
  if ((stopFlags & AM_SEEKING_ReturnTime) != 0 && stop != nullptr) {
    *stop = ReportedStop();
  }
  return hr;
}
