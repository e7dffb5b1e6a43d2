#include "support/RecordingSinkFilter.h"

RecordingInputPin::RecordingInputPin(TestFilterBase* owner, LPCWSTR name)
    : CInputPinBase("RecordingInputPin", owner, owner->FilterLock(), nullptr, name) {}

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

HRESULT RecordingInputPin::FinishConnection(IPin* peer) { return finishResult; }

STDMETHODIMP RecordingInputPin::EndOfStream() {
  {
    std::lock_guard<std::mutex> guard(m_recordLock);
    ++m_endOfStreamCount;
  }
  HRESULT hr = CInputPinBase::EndOfStream();
  if (onProgress) {
    onProgress();
  }
  return hr;
}

STDMETHODIMP RecordingInputPin::BeginFlush() {
  HRESULT hr = CInputPinBase::BeginFlush();
  // A held sample is given up by a flush, as a renderer drops its frame.
  std::lock_guard<std::mutex> guard(m_recordLock);
  m_changed.notify_all();
  return hr;
}

STDMETHODIMP RecordingInputPin::GetAllocator(IMemAllocator** allocator) {
  ++getAllocatorCalls;
  if (FAILED(getAllocatorResult)) {
    if (allocator != nullptr) {
      *allocator = nullptr;
    }
    return getAllocatorResult;
  }
  if (offeredAllocator != nullptr && allocator != nullptr) {
    offeredAllocator->AddRef();
    *allocator = offeredAllocator;
    return S_OK;
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
  HRESULT hr = ReceiveAndRecord(sample);
  if (onProgress) {
    onProgress();
  }
  return hr;
}

HRESULT RecordingInputPin::ReceiveAndRecord(IMediaSample* sample) {
  HRESULT hr = CInputPinBase::Receive(sample);
  std::unique_lock<std::mutex> guard(m_recordLock);
  if (hr == S_OK && m_refusal != S_OK) {
    hr = m_refusal;
  }
  m_receiveResults.push_back(hr);
  if (hr != S_OK) {
    return hr;
  }
  ReceivedSample record = {};
  record.timeResult = sample->GetTime(&record.start, &record.stop);
  record.syncPoint = sample->IsSyncPoint() == S_OK;
  record.discontinuity = sample->IsDiscontinuity() == S_OK;
  BYTE* data = nullptr;
  LONG length = sample->GetActualDataLength();
  if (SUCCEEDED(sample->GetPointer(&data)) && data != nullptr && length > 0) {
    record.bytes.assign(data, data + length);
  }
  m_received.push_back(std::move(record));
  if (m_keep) {
    sample->AddRef();
    m_kept.push_back(sample);
  }
  m_changed.notify_all();
  if (m_hold) {
    ++m_held;
    int releasesBefore = m_releases;
    m_changed.notify_all();
    m_changed.wait(guard, [&] { return m_releases != releasesBefore || m_flushing; });
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

STDMETHODIMP RecordingInputPin::EnumMediaTypes(IEnumMediaTypes** enumerator) {
  ++enumMediaTypesCalls;
  return CInputPinBase::EnumMediaTypes(enumerator);
}

void RecordingInputPin::WaitForReceived(size_t count) {
  std::unique_lock<std::mutex> guard(m_recordLock);
  m_changed.wait(guard, [&] { return m_received.size() >= count; });
}

void RecordingInputPin::WaitUntilHeld() {
  std::unique_lock<std::mutex> guard(m_recordLock);
  m_changed.wait(guard, [&] { return m_held > 0; });
}

std::vector<ReceivedSample> RecordingInputPin::Received() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return m_received;
}

std::vector<HRESULT> RecordingInputPin::ReceiveResults() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return m_receiveResults;
}

int RecordingInputPin::EndOfStreamCount() {
  std::lock_guard<std::mutex> guard(m_recordLock);
  return m_endOfStreamCount;
}

RecordingSinkFilter::RecordingSinkFilter() : TestFilterBase("RecordingSinkFilter") {
  AddPin(new RecordingInputPin(this, WIDE("In")));
}
