#include "support/MemoryAsyncSource.h"

#include <cstring>

namespace {

const CLSID CLSID_MemoryAsyncSource = {
    0x3f6a2c41, 0x8d1e, 0x4b7a, {0xa0, 0x5c, 0x61, 0x2e, 0x9b, 0x13, 0x7d, 0x02}};

std::atomic<LONG> g_liveSources{0};

const WCHAR kPinName[] = {'O', 'u', 't', 'p', 'u', 't', 0};

template <class T>
void ReleaseIfSet(T*& p) {
  if (p != nullptr) {
    p->Release();
    p = nullptr;
  }
}

bool SameName(LPCWSTR a, const WCHAR* b) {
  if (a == nullptr) {
    return false;
  }
  size_t i = 0;
  for (; a[i] != 0 && b[i] != 0; ++i) {
    if (a[i] != b[i]) {
      return false;
    }
  }
  return a[i] == b[i];
}

// One pin a time, as the platform's enumerators hand them out.
class SinglePinEnumerator final : public IEnumPins {
 public:
  SinglePinEnumerator(IPin* pin, ULONG position) : m_pin(pin), m_position(position) {
    m_pin->AddRef();
  }
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) {
      return E_POINTER;
    }
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IEnumPins)) {
      *ppv = static_cast<IEnumPins*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
  STDMETHODIMP_(ULONG) Release() override {
    LONG count = --m_references;
    if (count == 0) {
      m_pin->Release();
      delete this;
    }
    return static_cast<ULONG>(count);
  }
  STDMETHODIMP Next(ULONG count, IPin** pins, ULONG* fetched) override {
    if (pins == nullptr || (count > 1 && fetched == nullptr)) {
      return E_POINTER;
    }
    ULONG given = 0;
    if (count > 0 && m_position == 0) {
      pins[0] = m_pin;
      m_pin->AddRef();
      given = 1;
      m_position = 1;
    }
    if (fetched != nullptr) {
      *fetched = given;
    }
    return given == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    ULONG left = 1 - m_position;
    m_position = count >= left ? 1 : m_position + count;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumPins** copy) override {
    if (copy == nullptr) {
      return E_POINTER;
    }
    *copy = new SinglePinEnumerator(m_pin, m_position);
    (*copy)->AddRef();
    return S_OK;
  }

 private:
  std::atomic<LONG> m_references{0};
  IPin* m_pin;  // counted
  ULONG m_position;
};

class SingleTypeEnumerator final : public IEnumMediaTypes {
 public:
  SingleTypeEnumerator(const AM_MEDIA_TYPE& type, ULONG position)
      : m_type(type), m_position(position) {}
  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) {
      return E_POINTER;
    }
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IEnumMediaTypes)) {
      *ppv = static_cast<IEnumMediaTypes*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++m_references; }
  STDMETHODIMP_(ULONG) Release() override {
    LONG count = --m_references;
    if (count == 0) {
      delete this;
    }
    return static_cast<ULONG>(count);
  }
  STDMETHODIMP Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    if (types == nullptr || (count > 1 && fetched == nullptr)) {
      return E_POINTER;
    }
    ULONG given = 0;
    if (count > 0 && m_position == 0) {
      // The type carries no format block, so a plain copy is a deep one.
      auto* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
      if (copy == nullptr) {
        return E_OUTOFMEMORY;
      }
      *copy = m_type;
      types[0] = copy;
      given = 1;
      m_position = 1;
    }
    if (fetched != nullptr) {
      *fetched = given;
    }
    return given == count ? S_OK : S_FALSE;
  }
  STDMETHODIMP Skip(ULONG count) override {
    ULONG left = 1 - m_position;
    m_position = count >= left ? 1 : m_position + count;
    return count <= left ? S_OK : S_FALSE;
  }
  STDMETHODIMP Reset() override {
    m_position = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumMediaTypes** copy) override {
    if (copy == nullptr) {
      return E_POINTER;
    }
    *copy = new SingleTypeEnumerator(m_type, m_position);
    (*copy)->AddRef();
    return S_OK;
  }

 private:
  std::atomic<LONG> m_references{0};
  AM_MEDIA_TYPE m_type;
  ULONG m_position;
};

}  // namespace

// The output pin: IPin and IAsyncReader, its reference count the filter's.
class MemoryAsyncSource::OutputPinImpl final : public IPin, public IAsyncReader {
 public:
  explicit OutputPinImpl(MemoryAsyncSource* filter) : m_filter(filter) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (ppv == nullptr) {
      return E_POINTER;
    }
    *ppv = nullptr;
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IPin)) {
      *ppv = static_cast<IPin*>(this);
    } else if (IsEqualGUID(riid, IID_IAsyncReader) && m_filter->m_offerReader) {
      *ppv = static_cast<IAsyncReader*>(this);
    } else {
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return m_filter->AddRef(); }
  STDMETHODIMP_(ULONG) Release() override { return m_filter->Release(); }

  // IPin
  STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE* proposed) override {
    if (receiver == nullptr) {
      return E_POINTER;
    }
    AM_MEDIA_TYPE type;
    {
      std::lock_guard<std::mutex> guard(m_filter->m_lock);
      if (m_filter->m_peer != nullptr) {
        return VFW_E_ALREADY_CONNECTED;
      }
      if (m_filter->m_state != State_Stopped) {
        return VFW_E_NOT_STOPPED;
      }
      m_filter->FillMediaType(&type);
    }
    if (proposed != nullptr && !IsEqualGUID(proposed->majortype, GUID_NULL) &&
        (!IsEqualGUID(proposed->majortype, type.majortype) ||
         (!IsEqualGUID(proposed->subtype, GUID_NULL) &&
          !IsEqualGUID(proposed->subtype, type.subtype)))) {
      return VFW_E_TYPE_NOT_ACCEPTED;
    }
    // No lock across the call: the receiver reads the file through this pin.
    HRESULT hr = receiver->ReceiveConnection(static_cast<IPin*>(this), &type);
    if (FAILED(hr)) {
      return hr;
    }
    std::lock_guard<std::mutex> guard(m_filter->m_lock);
    receiver->AddRef();
    m_filter->m_peer = receiver;
    return S_OK;
  }
  STDMETHODIMP ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override {
    return VFW_E_INVALID_DIRECTION;
  }
  STDMETHODIMP Disconnect() override {
    IPin* peer = nullptr;
    {
      std::lock_guard<std::mutex> guard(m_filter->m_lock);
      if (m_filter->m_state != State_Stopped) {
        return VFW_E_NOT_STOPPED;
      }
      peer = m_filter->m_peer;
      m_filter->m_peer = nullptr;
    }
    if (peer == nullptr) {
      return S_FALSE;
    }
    peer->Release();
    return S_OK;
  }
  STDMETHODIMP ConnectedTo(IPin** pin) override {
    if (pin == nullptr) {
      return E_POINTER;
    }
    std::lock_guard<std::mutex> guard(m_filter->m_lock);
    *pin = m_filter->m_peer;
    if (*pin == nullptr) {
      return VFW_E_NOT_CONNECTED;
    }
    (*pin)->AddRef();
    return S_OK;
  }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE* type) override {
    if (type == nullptr) {
      return E_POINTER;
    }
    std::lock_guard<std::mutex> guard(m_filter->m_lock);
    m_filter->FillMediaType(type);
    return m_filter->m_peer != nullptr ? S_OK : VFW_E_NOT_CONNECTED;
  }
  STDMETHODIMP QueryPinInfo(PIN_INFO* info) override {
    if (info == nullptr) {
      return E_POINTER;
    }
    info->pFilter = m_filter;
    m_filter->AddRef();
    std::memcpy(info->achName, kPinName, sizeof(kPinName));
    info->dir = PINDIR_OUTPUT;
    return S_OK;
  }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
    if (direction == nullptr) {
      return E_POINTER;
    }
    *direction = PINDIR_OUTPUT;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR* id) override {
    if (id == nullptr) {
      return E_POINTER;
    }
    *id = static_cast<LPWSTR>(CoTaskMemAlloc(sizeof(kPinName)));
    if (*id == nullptr) {
      return E_OUTOFMEMORY;
    }
    std::memcpy(*id, kPinName, sizeof(kPinName));
    return S_OK;
  }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE* type) override {
    if (type == nullptr) {
      return E_POINTER;
    }
    std::lock_guard<std::mutex> guard(m_filter->m_lock);
    return IsEqualGUID(type->majortype, MEDIATYPE_Stream) &&
                   IsEqualGUID(type->subtype, m_filter->m_subtype)
               ? S_OK
               : S_FALSE;
  }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes** enumerator) override {
    if (enumerator == nullptr) {
      return E_POINTER;
    }
    AM_MEDIA_TYPE type;
    {
      std::lock_guard<std::mutex> guard(m_filter->m_lock);
      m_filter->FillMediaType(&type);
    }
    *enumerator = new SingleTypeEnumerator(type, 0);
    (*enumerator)->AddRef();
    return S_OK;
  }
  STDMETHODIMP QueryInternalConnections(IPin** pins, ULONG* count) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override {
    return S_OK;
  }

  // IPin::BeginFlush/EndFlush and IAsyncReader::BeginFlush/EndFlush share a
  // slot name; an output pin refuses the first pair, so the reader's meaning
  // (abort pending requests) wins for both.
  STDMETHODIMP BeginFlush() override {
    std::lock_guard<std::mutex> guard(m_filter->m_lock);
    m_filter->m_flushing = true;
    return S_OK;
  }
  STDMETHODIMP EndFlush() override {
    std::lock_guard<std::mutex> guard(m_filter->m_lock);
    m_filter->m_flushing = false;
    return S_OK;
  }

  // IAsyncReader
  STDMETHODIMP RequestAllocator(IMemAllocator* preferred, ALLOCATOR_PROPERTIES* properties,
                                IMemAllocator** actual) override {
    if (properties == nullptr || actual == nullptr) {
      return E_POINTER;
    }
    *actual = nullptr;
    IMemAllocator* allocator = preferred;
    if (allocator != nullptr) {
      allocator->AddRef();
    } else {
      HRESULT hr = CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                                    IID_IMemAllocator, reinterpret_cast<void**>(&allocator));
      if (FAILED(hr)) {
        return hr;
      }
    }
    ALLOCATOR_PROPERTIES granted = {};
    HRESULT hr = allocator->SetProperties(properties, &granted);
    if (FAILED(hr)) {
      allocator->Release();
      return hr;
    }
    *actual = allocator;
    return S_OK;
  }
  STDMETHODIMP Request(IMediaSample* sample, DWORD_PTR user) override {
    if (sample == nullptr) {
      return E_POINTER;
    }
    HRESULT hr = SyncReadAligned(sample);
    if (FAILED(hr)) {
      return hr;
    }
    std::lock_guard<std::mutex> guard(m_filter->m_lock);
    if (m_filter->m_flushing) {
      return VFW_E_WRONG_STATE;
    }
    sample->AddRef();
    m_filter->m_completed.emplace_back(sample, user);
    return S_OK;
  }
  STDMETHODIMP WaitForNext(DWORD timeout, IMediaSample** sample, DWORD_PTR* user) override {
    if (sample == nullptr || user == nullptr) {
      return E_POINTER;
    }
    std::lock_guard<std::mutex> guard(m_filter->m_lock);
    *sample = nullptr;
    *user = 0;
    if (m_filter->m_completed.empty()) {
      // Requests complete at once, so nothing pending means nothing to wait for.
      return m_filter->m_flushing ? VFW_E_WRONG_STATE : VFW_E_TIMEOUT;
    }
    *sample = m_filter->m_completed.front().first;
    *user = m_filter->m_completed.front().second;
    m_filter->m_completed.pop_front();
    return S_OK;
  }
  STDMETHODIMP SyncReadAligned(IMediaSample* sample) override {
    if (sample == nullptr) {
      return E_POINTER;
    }
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    HRESULT hr = sample->GetTime(&start, &stop);
    if (FAILED(hr)) {
      return hr;
    }
    BYTE* buffer = nullptr;
    hr = sample->GetPointer(&buffer);
    if (FAILED(hr)) {
      return hr;
    }
    // Request times carry byte positions scaled by 10,000,000.
    const LONGLONG position = start / 10000000;
    const LONG length = static_cast<LONG>((stop - start) / 10000000);
    if (length < 0 || length > sample->GetSize()) {
      return E_INVALIDARG;
    }
    LONG copied = 0;
    hr = m_filter->SyncRead(position, length, buffer, &copied);
    if (SUCCEEDED(hr)) {
      sample->SetActualDataLength(copied);
    }
    return hr;
  }
  STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE* buffer) override {
    return m_filter->SyncRead(position, length, buffer);
  }
  STDMETHODIMP Length(LONGLONG* total, LONGLONG* available) override {
    return m_filter->Length(total, available);
  }

 private:
  MemoryAsyncSource* m_filter;  // not counted: the filter owns the pin
};

MemoryAsyncSource::MemoryAsyncSource(std::vector<uint8_t> bytes)
    : m_bytes(std::move(bytes)), m_pin(new OutputPinImpl(this)) {
  m_subtype = GUID_NULL;
  ++g_liveSources;
}

MemoryAsyncSource::~MemoryAsyncSource() {
  ReleaseIfSet(m_peer);
  ReleaseIfSet(m_clock);
  for (auto& completed : m_completed) {
    completed.first->Release();
  }
  delete m_pin;
  --g_liveSources;
}

LONG MemoryAsyncSource::LiveCount() { return g_liveSources.load(); }

IPin* MemoryAsyncSource::OutputPin() { return static_cast<IPin*>(m_pin); }

void MemoryAsyncSource::SetSubtype(const GUID& subtype) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_subtype = subtype;
}

void MemoryAsyncSource::SetPastEnd(PastEnd behaviour) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_pastEnd = behaviour;
}

void MemoryAsyncSource::AnswerAt(LONGLONG position, HRESULT result) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_positionAnswers[position] = result;
}

void MemoryAsyncSource::AnswerRead(size_t index, HRESULT result) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_indexAnswers[index] = result;
}

std::vector<MemoryAsyncSource::Read> MemoryAsyncSource::Reads() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_reads;
}

size_t MemoryAsyncSource::ReadCount() const {
  std::lock_guard<std::mutex> guard(m_lock);
  return m_reads.size();
}

LONG MemoryAsyncSource::ReferenceCount() { return m_references.load(); }

void MemoryAsyncSource::FillMediaType(AM_MEDIA_TYPE* type) const {
  std::memset(type, 0, sizeof(*type));
  type->majortype = MEDIATYPE_Stream;
  type->subtype = m_subtype;
  type->bFixedSizeSamples = TRUE;
  type->lSampleSize = 1;
  type->formattype = FORMAT_None;
}

HRESULT MemoryAsyncSource::Length(LONGLONG* total, LONGLONG* available) {
  if (total == nullptr || available == nullptr) {
    return E_POINTER;
  }
  std::unique_lock<std::mutex> lock(m_lock);
  PassGate(lock, m_holdLength);
  ++m_lengthCalls;
  if (FAILED(m_lengthAnswer)) {
    return m_lengthAnswer;
  }
  *total = static_cast<LONGLONG>(m_bytes.size());
  *available = *total;
  return m_lengthAnswer;
}

void MemoryAsyncSource::ReplaceBytes(std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_bytes = std::move(bytes);
}

void MemoryAsyncSource::AnswerLength(HRESULT result) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_lengthAnswer = result;
}

void MemoryAsyncSource::PassGate(std::unique_lock<std::mutex>& lock, bool gated) {
  if (!gated) {
    return;
  }
  const int releases = m_releases;
  ++m_heldCalls;
  m_gateChanged.notify_all();
  m_gateChanged.wait(lock, [&] { return m_releases != releases; });
  --m_heldCalls;
}

void MemoryAsyncSource::HoldReadsAt(LONGLONG position) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_holdRead = true;
  m_holdPosition = position;
}

void MemoryAsyncSource::HoldLengthCalls() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_holdLength = true;
}

void MemoryAsyncSource::WaitUntilHeld() {
  std::unique_lock<std::mutex> lock(m_lock);
  m_gateChanged.wait(lock, [&] { return m_heldCalls > 0; });
}

void MemoryAsyncSource::ReleaseHeld() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_holdRead = false;
  m_holdLength = false;
  ++m_releases;
  m_gateChanged.notify_all();
}

void MemoryAsyncSource::ReplaceBytesAfterRead(size_t index, std::vector<uint8_t> bytes) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_replaceAfter = index;
  m_replacement = std::move(bytes);
}

HRESULT MemoryAsyncSource::SyncRead(LONGLONG position, LONG length, BYTE* buffer, LONG* copied) {
  std::unique_lock<std::mutex> guard(m_lock);
  PassGate(guard, m_holdRead && position == m_holdPosition);
  const size_t index = m_reads.size();
  HRESULT planned = S_OK;
  auto byIndex = m_indexAnswers.find(index);
  auto byPosition = m_positionAnswers.lower_bound(position);
  const bool covered = byPosition != m_positionAnswers.end() &&
                       (byPosition->first == position || byPosition->first - position < length);
  if (byIndex != m_indexAnswers.end()) {
    planned = byIndex->second;
  } else if (covered) {
    planned = byPosition->second;
  }
  HRESULT result = planned;
  if (FAILED(planned)) {
    // A planned failure copies nothing.
  } else if (position < 0 || length < 0 || (buffer == nullptr && length > 0)) {
    result = E_INVALIDARG;
  } else {
    const uint64_t size = m_bytes.size();
    const uint64_t start = static_cast<uint64_t>(position);
    uint64_t count = static_cast<uint64_t>(length);
    if (start + count > size) {
      count = start < size ? size - start : 0;
      result = m_pastEnd == PastEnd::Fail ? E_FAIL : S_FALSE;
    }
    if (SUCCEEDED(result) && count > 0) {
      std::memcpy(buffer, m_bytes.data() + start, static_cast<size_t>(count));
    }
    if (copied != nullptr && SUCCEEDED(result)) {
      *copied = static_cast<LONG>(count);
    }
  }
  m_reads.push_back(Read{position, length, result});
  if (index == m_replaceAfter) {
    m_bytes = std::move(m_replacement);
    m_replaceAfter = SIZE_MAX;
  }
  return result;
}

STDMETHODIMP MemoryAsyncSource::QueryInterface(REFIID riid, void** ppv) {
  if (ppv == nullptr) {
    return E_POINTER;
  }
  if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IPersist) ||
      IsEqualGUID(riid, IID_IMediaFilter) || IsEqualGUID(riid, IID_IBaseFilter)) {
    *ppv = static_cast<IBaseFilter*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) MemoryAsyncSource::AddRef() { return static_cast<ULONG>(++m_references); }

STDMETHODIMP_(ULONG) MemoryAsyncSource::Release() {
  LONG count = --m_references;
  if (count == 0) {
    delete this;
  }
  return static_cast<ULONG>(count);
}

STDMETHODIMP MemoryAsyncSource::GetClassID(CLSID* classId) {
  if (classId == nullptr) {
    return E_POINTER;
  }
  *classId = CLSID_MemoryAsyncSource;
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::Stop() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_state = State_Stopped;
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::Pause() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_state = State_Paused;
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::Run(REFERENCE_TIME start) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_state = State_Running;
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::GetState(DWORD timeout, FILTER_STATE* state) {
  if (state == nullptr) {
    return E_POINTER;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  *state = m_state;
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (clock != nullptr) {
    clock->AddRef();
  }
  ReleaseIfSet(m_clock);
  m_clock = clock;
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::GetSyncSource(IReferenceClock** clock) {
  if (clock == nullptr) {
    return E_POINTER;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  *clock = m_clock;
  if (m_clock != nullptr) {
    m_clock->AddRef();
  }
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::EnumPins(IEnumPins** enumerator) {
  if (enumerator == nullptr) {
    return E_POINTER;
  }
  *enumerator = new SinglePinEnumerator(OutputPin(), 0);
  (*enumerator)->AddRef();
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::FindPin(LPCWSTR id, IPin** pin) {
  if (pin == nullptr) {
    return E_POINTER;
  }
  *pin = nullptr;
  if (!SameName(id, kPinName)) {
    return VFW_E_NOT_FOUND;
  }
  *pin = OutputPin();
  (*pin)->AddRef();
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::QueryFilterInfo(FILTER_INFO* info) {
  if (info == nullptr) {
    return E_POINTER;
  }
  std::lock_guard<std::mutex> guard(m_lock);
  info->achName[0] = 0;
  info->pGraph = m_graph;
  if (m_graph != nullptr) {
    m_graph->AddRef();
  }
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_graph = graph;
  return S_OK;
}

STDMETHODIMP MemoryAsyncSource::QueryVendorInfo(LPWSTR* vendorInfo) { return E_NOTIMPL; }
