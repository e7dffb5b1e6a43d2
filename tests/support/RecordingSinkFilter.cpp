#include "support/RecordingSinkFilter.h"

#ifdef TESSALY_WITHOUT_GTEST
#include <cstdio>
#include <cstdlib>
#else
#include <gtest/gtest.h>
#endif

namespace {

std::string Narrow(const WCHAR* text) {
  std::string narrow;
  for (; text != nullptr && *text != 0; ++text) {
    narrow.push_back(static_cast<char>(*text));
  }
  return narrow;
}

}  // namespace

void RecordingInputPin::NeverArrived(const std::string& what) {
#ifdef TESSALY_WITHOUT_GTEST
  // A fuzzer has no test to fail: an input that hangs the graph is a finding.
  std::fprintf(stderr, "%s\n", what.c_str());
  std::abort();
#else
  ADD_FAILURE() << what;
#endif
}

RecordingInputPin::RecordingInputPin(TestFilterBase* owner, LPCWSTR name, HRESULT* result)
    : CInputPinBase("RecordingInputPin", owner, owner->FilterLock(), result, name),
      m_description(Narrow(name)) {}

HRESULT RecordingInputPin::TestMediaType(const CMediaTypeRecord* type) {
  testedTypes.push_back(*type);
  return typeTest ? typeTest(*type) : S_OK;
}

HRESULT RecordingInputPin::OfferedMediaType(int index, CMediaTypeRecord* out) {
  if (index < 0 || index >= static_cast<int>(offeredTypes.size())) {
    return VFW_S_NO_MORE_ITEMS;
  }
  *out = offeredTypes[index];
  return S_OK;
}

HRESULT RecordingInputPin::PreparePeer(IPin* other) {
  ++preparePeerCalls;
  return CInputPinBase::PreparePeer(other);
}

HRESULT RecordingInputPin::ReleasePeer() {
  ++releasePeerCalls;
  return CInputPinBase::ReleasePeer();
}

HRESULT RecordingInputPin::FinishConnection(IPin* peer) {
  // Sinks of one graph share their pin's name; a failure names the sender too.
  PIN_INFO info = {};
  if (finishResult == S_OK && peer != nullptr && SUCCEEDED(peer->QueryPinInfo(&info))) {
    m_description = Narrow(PinName()) + " (fed by " + Narrow(info.achName) + ")";
    if (info.pFilter != nullptr) {
      info.pFilter->Release();
    }
  }
  return finishResult;
}

STDMETHODIMP RecordingInputPin::EndOfStream() {
  {
    std::lock_guard<std::mutex> guard(m_recordLock);
    ++m_endOfStreamCount;
    m_endOfStreamFlushes.push_back(m_flushes);
    m_changed.notify_all();
  }
  HRESULT hr = CInputPinBase::EndOfStream();
  if (onProgress) {
    onProgress();
  }
  return hr;
}

STDMETHODIMP RecordingInputPin::BeginFlush() {
  bool keepThrough = false;
  {
    std::unique_lock<std::mutex> guard(m_recordLock);
    if (m_holdFlush) {
      m_flushHeld = true;
      m_changed.notify_all();
      WaitFor(
          guard, [&] { return !m_holdFlush; },
          [] { return "a held BeginFlush was never released"; });
      m_flushHeld = false;
    }
    keepThrough = m_keepThroughFlush;
  }
  HRESULT hr = CInputPinBase::BeginFlush();
  {
    // A held sample is given up by a flush, as a renderer drops its frame.
    std::lock_guard<std::mutex> guard(m_recordLock);
    m_changed.notify_all();
  }
  if (!keepThrough) {
    DropKept();
  }
  return hr;
}

STDMETHODIMP RecordingInputPin::EndFlush() {
  {
    // A sample that was on its way when the flush began may still be
    // recorded before this; none may come after it from the old place.
    std::lock_guard<std::mutex> guard(m_recordLock);
    ++m_flushes;
  }
  return CInputPinBase::EndFlush();
}

STDMETHODIMP RecordingInputPin::GetAllocator(IMemAllocator** allocator) {
  ++getAllocatorCalls;
  if (FAILED(getAllocatorResult)) {
    if (allocator != nullptr) {
      *allocator = nullptr;
    }
    return getAllocatorResult;
  }
  if (offeredAllocator) {
    return offeredAllocator.CopyTo(allocator);
  }
  return CInputPinBase::GetAllocator(allocator);
}

STDMETHODIMP RecordingInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  notifiedAllocators.push_back(allocator);
  notifiedReadOnly.push_back(readOnly);
  HRESULT answer = notifyAllocatorAnswer ? notifyAllocatorAnswer(allocator) : S_OK;
  if (FAILED(answer)) {
    return answer;
  }
  return CInputPinBase::NotifyAllocator(allocator, readOnly);
}

STDMETHODIMP RecordingInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) {
  if (!requirements) {
    return CInputPinBase::GetAllocatorRequirements(properties);
  }
  *properties = *requirements;
  return S_OK;
}

STDMETHODIMP RecordingInputPin::Receive(IMediaSample* sample) {
  HRESULT hr = CInputPinBase::Receive(sample);
  if (hr == S_OK && sampleAnswer) {
    hr = sampleAnswer(sample);
  }
  hr = Record(sample, hr);
  if (onProgress) {
    onProgress();
  }
  return hr;
}

HRESULT RecordingInputPin::Record(IMediaSample* sample, HRESULT hr) {
  std::unique_lock<std::mutex> guard(m_recordLock);
  auto refusal = m_refusals.find(static_cast<int>(m_receiveResults.size()));
  if (hr == S_OK && refusal != m_refusals.end()) {
    hr = refusal->second;
  }
  if (hr == S_OK && m_refusal != S_OK) {
    hr = m_refusal;
  }
  m_receiveResults.push_back(hr);
  m_changed.notify_all();
  if (sample == nullptr) {
    return hr;
  }
  ReceivedSample record = {};
  record.answer = hr;
  record.timeResult = sample->GetTime(&record.start, &record.stop);
  record.mediaTimeResult = sample->GetMediaTime(&record.mediaStart, &record.mediaStop);
  record.syncPoint = sample->IsSyncPoint() == S_OK;
  record.discontinuity = sample->IsDiscontinuity() == S_OK;
  record.preroll = sample->IsPreroll() == S_OK;
  record.flushes = m_flushes;
  record.thread = GetCurrentThreadId();
  AM_MEDIA_TYPE* type = nullptr;
  record.typeChanged = sample->GetMediaType(&type) == S_OK;
  if (type != nullptr) {
    CoTaskMemFree(type->pbFormat);
    CoTaskMemFree(type);
  }
  BYTE* data = nullptr;
  LONG length = sample->GetActualDataLength();
  if (SUCCEEDED(sample->GetPointer(&data)) && data != nullptr && length > 0) {
    record.bytes.assign(data, data + length);
  }
  m_records.push_back(std::move(record));
  if (hr != S_OK) {
    return hr;
  }
  ++m_taken;
  if (m_keep) {
    sample->AddRef();
    m_kept.push_back(sample);
  }
  if (m_hold) {
    ++m_held;
    int releasesBefore = m_releases;
    m_changed.notify_all();
    WaitFor(
        guard, [&] { return m_releases != releasesBefore || m_flushing; },
        [] { return "a held sample was never released"; });
    --m_held;
  }
  return S_OK;
}

STDMETHODIMP RecordingInputPin::ReceiveCanBlock() {
  return canBlockAnswer ? *canBlockAnswer : CInputPinBase::ReceiveCanBlock();
}

void RecordingInputPin::RefuseSamples(HRESULT result) {
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_refusal = result;
}

void RecordingInputPin::RefuseReceive(int index, HRESULT result) {
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_refusals[index] = result;
}

void RecordingInputPin::HoldSamples(bool hold) {
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_hold = hold;
}

void RecordingInputPin::ReleaseHeld() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  ++m_releases;
  m_changed.notify_all();
}

void RecordingInputPin::KeepSamples(bool keep) {
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_keep = keep;
}

void RecordingInputPin::KeepThroughFlush(bool keep) {
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_keepThroughFlush = keep;
}

void RecordingInputPin::DropKept() {
  std::vector<IMediaSample*> kept;
  {
    std::lock_guard<std::mutex> guard(m_recordLock);
    kept.swap(m_kept);
  }
  for (IMediaSample* sample : kept) {
    sample->Release();
  }
}

void RecordingInputPin::HoldBeginFlush() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_holdFlush = true;
}

void RecordingInputPin::ReleaseFlush() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_holdFlush = false;
  m_changed.notify_all();
}

STDMETHODIMP RecordingInputPin::EnumMediaTypes(IEnumMediaTypes** enumerator) {
  ++enumMediaTypesCalls;
  return CInputPinBase::EnumMediaTypes(enumerator);
}

bool RecordingInputPin::WaitUntilHeld() {
  std::unique_lock<std::mutex> guard(m_recordLock);
  return WaitFor(
      guard, [&] { return m_held > 0; }, [] { return "no sample was held"; });
}

bool RecordingInputPin::WaitUntilFlushHeld() {
  std::unique_lock<std::mutex> guard(m_recordLock);
  return WaitFor(
      guard, [&] { return m_flushHeld; }, [] { return "no BeginFlush came"; });
}

bool RecordingInputPin::WaitForReceived(size_t count) {
  std::unique_lock<std::mutex> guard(m_recordLock);
  return WaitFor(
      guard, [&] { return m_taken >= count; },
      [&] {
        return std::to_string(count - m_taken) + " of " + std::to_string(count) +
               " samples never arrived";
      });
}

bool RecordingInputPin::WaitForReceives(size_t count) {
  std::unique_lock<std::mutex> guard(m_recordLock);
  return WaitFor(
      guard, [&] { return m_records.size() >= count || m_endOfStreamCount > 0; },
      [&] {
        return std::to_string(count - m_records.size()) + " of " + std::to_string(count) +
               " samples never arrived, nor an end of stream";
      });
}

bool RecordingInputPin::WaitForEndOfStream(int count) {
  std::unique_lock<std::mutex> guard(m_recordLock);
  return WaitFor(
      guard, [&] { return m_endOfStreamCount >= count; },
      [&] {
        return std::to_string(count - m_endOfStreamCount) + " of " + std::to_string(count) +
               " ends of stream never arrived (after " + std::to_string(m_taken) + " samples)";
      });
}

std::vector<ReceivedSample> RecordingInputPin::Received() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  std::vector<ReceivedSample> taken;
  for (const ReceivedSample& record : m_records) {
    if (record.answer == S_OK) {
      taken.push_back(record);
    }
  }
  return taken;
}

std::vector<ReceivedSample> RecordingInputPin::Records() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return m_records;
}

std::vector<HRESULT> RecordingInputPin::ReceiveResults() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return m_receiveResults;
}

int RecordingInputPin::ReceiveCount() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return static_cast<int>(m_receiveResults.size());
}

int RecordingInputPin::EndOfStreamCount() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return m_endOfStreamCount;
}

std::vector<int> RecordingInputPin::EndOfStreamFlushes() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return m_endOfStreamFlushes;
}

int RecordingInputPin::FlushCount() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return m_flushes;
}

void RecordingInputPin::ClearRecords() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_records.clear();
  m_receiveResults.clear();
  m_taken = 0;
  m_endOfStreamCount = 0;
  m_endOfStreamFlushes.clear();
}

RecordingSinkFilter::RecordingSinkFilter(HRESULT* result) : TestFilterBase("RecordingSinkFilter") {
  AddPin(new RecordingInputPin(this, WIDE("In"), result));
}
