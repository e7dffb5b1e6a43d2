// Filters for the platform's graph tests: they log and record what the graph
// asks of them (state changes, clocks, joins), connect by plain media-type
// matching, and can report events to the graph like a renderer does.
#pragma once

#include <win/platform.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// Fakes alive in the process; every test ends with none.
inline std::atomic<int> g_liveFakes{0};

struct TypePair {
  GUID major;
  GUID subtype;
};

// What every filter of one test was asked, in call order.
class CallLog {
 public:
  void Add(std::string entry) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_entries.push_back(std::move(entry));
  }
  std::vector<std::string> Take() {
    std::lock_guard<std::mutex> guard(m_lock);
    return std::exchange(m_entries, {});
  }
  // The filters named by the entries that begin with verb, in order.
  std::vector<std::string> Take(const std::string& verb) {
    std::vector<std::string> names;
    for (const std::string& entry : Take()) {
      if (entry.rfind(verb + ":", 0) == 0) names.push_back(entry.substr(verb.size() + 1));
    }
    return names;
  }

 private:
  std::mutex m_lock;
  std::vector<std::string> m_entries;
};

inline AM_MEDIA_TYPE* NewTaskType(const TypePair& pair) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!type) return nullptr;
  *type = AM_MEDIA_TYPE{};
  type->majortype = pair.major;
  type->subtype = pair.subtype;
  type->formattype = GUID_NULL;
  return type;
}

class FakeTypeEnumerator final : public IEnumMediaTypes {
 public:
  explicit FakeTypeEnumerator(std::vector<TypePair> types) : m_types(std::move(types)) {
    ++g_liveFakes;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IEnumMediaTypes) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, AM_MEDIA_TYPE** types, ULONG* fetched) override {
    ULONG n = 0;
    while (n < count && m_next < m_types.size()) types[n++] = NewTaskType(m_types[m_next++]);
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_next = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumMediaTypes**) override { return E_NOTIMPL; }

 private:
  ~FakeTypeEnumerator() { --g_liveFakes; }
  std::atomic<ULONG> m_refs{0};
  std::vector<TypePair> m_types;
  size_t m_next = 0;
};

class FakePinEnumerator final : public IEnumPins {
 public:
  explicit FakePinEnumerator(std::vector<IPin*> pins) : m_pins(std::move(pins)) {
    for (IPin* pin : m_pins) pin->AddRef();
    ++g_liveFakes;
  }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IEnumPins) {
      *ppv = this;
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, IPin** pins, ULONG* fetched) override {
    ULONG n = 0;
    while (n < count && m_next < m_pins.size()) {
      pins[n] = m_pins[m_next++];
      pins[n++]->AddRef();
    }
    if (fetched) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override {
    m_next = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(IEnumPins**) override { return E_NOTIMPL; }

 private:
  ~FakePinEnumerator() {
    for (IPin* pin : m_pins) pin->Release();
    --g_liveFakes;
  }
  std::atomic<ULONG> m_refs{0};
  std::vector<IPin*> m_pins;  // counted
  size_t m_next = 0;
};

class FakeFilter;

class FakePin final : public IPin {
 public:
  FakePin(FakeFilter* owner, PIN_DIRECTION direction, std::u16string name,
          std::vector<TypePair> types)
      : m_owner(owner),
        m_direction(direction),
        m_name(std::move(name)),
        m_types(std::move(types)) {}
  ~FakePin() {
    if (m_peer) m_peer->Release();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IPin) {
      *ppv = static_cast<IPin*>(this);
      AddRef();
      return S_OK;
    }
    if (riid == IID_IMediaSeeking && seeking) {
      seeking->AddRef();
      *ppv = seeking;
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;

  HRESULT STDMETHODCALLTYPE Connect(IPin* receiver, const AM_MEDIA_TYPE* pmt) override {
    if (!receiver) return E_POINTER;
    if (m_peer) return VFW_E_ALREADY_CONNECTED;
    connectTypes.push_back(pmt);
    if (pmt || m_types.empty()) return Attach(receiver, receiver->ReceiveConnection(this, pmt));
    HRESULT last = VFW_E_NO_ACCEPTABLE_TYPES;
    for (const TypePair& pair : m_types) {
      AM_MEDIA_TYPE type{};
      type.majortype = pair.major;
      type.subtype = pair.subtype;
      type.formattype = GUID_NULL;
      last = Attach(receiver, receiver->ReceiveConnection(this, &type));
      if (SUCCEEDED(last)) return S_OK;
    }
    return last;
  }
  HRESULT STDMETHODCALLTYPE ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) override;
  HRESULT STDMETHODCALLTYPE Disconnect() override {
    ++disconnectCalls;
    if (!m_peer) return S_FALSE;
    std::exchange(m_peer, nullptr)->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectedTo(IPin** pin) override {
    if (!pin) return E_POINTER;
    *pin = m_peer;
    if (!m_peer) return VFW_E_NOT_CONNECTED;
    m_peer->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryPinInfo(PIN_INFO* info) override;
  HRESULT STDMETHODCALLTYPE QueryDirection(PIN_DIRECTION* direction) override {
    if (!direction) return E_POINTER;
    *direction = m_direction;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryId(LPWSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE* pmt) override {
    return Accepts(pmt) ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE EnumMediaTypes(IEnumMediaTypes** out) override {
    *out = new FakeTypeEnumerator(m_types);
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EndOfStream() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE BeginFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE EndFlush() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override {
    return S_OK;
  }

  // A pin that names no types takes any, even none.
  bool Accepts(const AM_MEDIA_TYPE* pmt) const {
    if (m_types.empty()) return true;
    if (!pmt) return false;
    return std::any_of(m_types.begin(), m_types.end(), [pmt](const TypePair& pair) {
      return pair.major == pmt->majortype && pair.subtype == pmt->subtype;
    });
  }
  IPin* Peer() const { return m_peer; }
  const std::u16string& Name() const { return m_name; }
  PIN_DIRECTION Direction() const { return m_direction; }

  std::vector<const AM_MEDIA_TYPE*> connectTypes;  // what each Connect was given
  int disconnectCalls = 0;
  HRESULT receiveResult = S_OK;      // what ReceiveConnection answers, when a failure
  IMediaSeeking* seeking = nullptr;  // not counted: what QueryInterface hands out, if set

 private:
  HRESULT Attach(IPin* receiver, HRESULT received) {
    if (FAILED(received)) return received;
    receiver->AddRef();
    m_peer = receiver;
    return S_OK;
  }

  FakeFilter* m_owner;  // not counted: the pin's counts go to it
  PIN_DIRECTION m_direction;
  std::u16string m_name;
  std::vector<TypePair> m_types;  // offered (output) or accepted (input; empty: any)
  IPin* m_peer = nullptr;         // counted
};

class FakeFilter final : public IBaseFilter, public IFileSourceFilter {
 public:
  enum class Role { Plain, Source, Splitter };

  struct JoinCall {
    IFilterGraph* graph;
    bool named;
    std::u16string name;
  };

  // Created with one reference, the caller's. Without a log it logs nothing.
  static FakeFilter* New(std::string name = "", std::shared_ptr<CallLog> log = nullptr,
                         Role role = Role::Plain) {
    auto* filter = new FakeFilter(std::move(name), std::move(log), role);
    filter->AddRef();
    return filter;
  }

  FakePin* AddPin(PIN_DIRECTION direction, std::u16string name, std::vector<TypePair> types = {}) {
    m_pins.push_back(std::make_unique<FakePin>(this, direction, std::move(name), std::move(types)));
    return m_pins.back().get();
  }
  FakePin* PinAt(size_t index) const {
    return index < m_pins.size() ? m_pins[index].get() : nullptr;
  }
  size_t PinCount() const { return m_pins.size(); }

  // Reports an event to the graph the filter joined, naming itself as renderers do.
  HRESULT Signal(LONG code, LONG_PTR param1) {
    IFilterGraph* graph = m_graph.load();
    if (!graph) return E_UNEXPECTED;
    IMediaEventSink* sink = nullptr;
    HRESULT hr = graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink));
    if (FAILED(hr)) return hr;
    hr = sink->Notify(code, param1, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
    sink->Release();
    return hr;
  }

  // The splitter's outputs appear once its input is connected.
  void OnInputConnected() {
    if (m_role != Role::Splitter || m_pins.size() > 1) return;
    AddPin(PINDIR_OUTPUT, u"Audio", {{MEDIATYPE_Audio, MEDIASUBTYPE_PCM}});
    AddPin(PINDIR_OUTPUT, u"Video", {{MEDIATYPE_Video, MEDIASUBTYPE_NULL}});
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid == IID_IUnknown || riid == IID_IPersist || riid == IID_IMediaFilter ||
        riid == IID_IBaseFilter) {
      *ppv = static_cast<IBaseFilter*>(this);
    } else if (riid == IID_IFileSourceFilter && m_role == Role::Source) {
      *ppv = static_cast<IFileSourceFilter*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override {
    ULONG left = --m_refs;
    if (left == 0) delete this;
    return left;
  }

  HRESULT STDMETHODCALLTYPE GetClassID(CLSID* id) override {
    *id = classId;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Stop() override {
    Log("Stop");
    m_state = State_Stopped;
    return stopResult;
  }
  HRESULT STDMETHODCALLTYPE Pause() override {
    Log("Pause");
    m_state = State_Paused;
    return pauseResult;
  }
  HRESULT STDMETHODCALLTYPE Run(REFERENCE_TIME start) override {
    Log("Run");
    runStarts.push_back(start);
    m_state = State_Running;
    return runResult;
  }
  HRESULT STDMETHODCALLTYPE GetState(DWORD, FILTER_STATE* state) override {
    *state = m_state;
    return getStateResult;
  }
  HRESULT STDMETHODCALLTYPE SetSyncSource(IReferenceClock* clock) override {
    Log("Sync");
    if (clock) clock->AddRef();
    if (m_clock) m_clock->Release();
    m_clock = clock;
    syncSources.push_back(clock);
    return syncResult;
  }
  HRESULT STDMETHODCALLTYPE GetSyncSource(IReferenceClock** clock) override {
    *clock = m_clock;
    if (m_clock) m_clock->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumPins(IEnumPins** out) override {
    std::vector<IPin*> pins;
    for (auto& pin : m_pins) pins.push_back(pin.get());
    *out = new FakePinEnumerator(std::move(pins));
    (*out)->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE FindPin(LPCWSTR, IPin**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryFilterInfo(FILTER_INFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override {
    joins.push_back(JoinCall{graph, name != nullptr, name ? std::u16string(name) : u""});
    if (SUCCEEDED(joinResult)) m_graph = graph;
    return joinResult;
  }
  HRESULT STDMETHODCALLTYPE QueryVendorInfo(LPWSTR*) override { return E_NOTIMPL; }

  // IFileSourceFilter, for the source role.
  HRESULT STDMETHODCALLTYPE Load(LPCOLESTR file, const AM_MEDIA_TYPE* pmt) override {
    if (!file || !pmt) return E_POINTER;
    loadedFile = file;
    loadedType = TypePair{pmt->majortype, pmt->subtype};
    AddPin(PINDIR_OUTPUT, u"Output", {loadedType});
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCurFile(LPOLESTR*, AM_MEDIA_TYPE*) override { return E_NOTIMPL; }

  IReferenceClock* Clock() const { return m_clock; }
  ULONG Count() const { return m_refs; }
  const std::string& Name() const { return m_name; }

  CLSID classId = CLSID_NULL;
  HRESULT pauseResult = S_OK;
  HRESULT runResult = S_OK;
  HRESULT stopResult = S_OK;
  HRESULT getStateResult = S_OK;
  HRESULT inputRefusal = S_OK;  // what the input pin answers every connection with
  HRESULT joinResult = S_OK;
  HRESULT syncResult = S_OK;
  std::vector<REFERENCE_TIME> runStarts;
  std::vector<JoinCall> joins;
  std::vector<IReferenceClock*> syncSources;  // identities only, not counted
  std::u16string loadedFile;
  TypePair loadedType{};

 private:
  FakeFilter(std::string name, std::shared_ptr<CallLog> log, Role role)
      : m_name(std::move(name)), m_log(std::move(log)), m_role(role) {
    ++g_liveFakes;
  }
  ~FakeFilter() {
    m_pins.clear();
    if (m_clock) m_clock->Release();
    --g_liveFakes;
  }
  void Log(const char* verb) {
    if (m_log) m_log->Add(verb + (":" + m_name));
  }

  std::atomic<ULONG> m_refs{0};
  std::string m_name;
  std::shared_ptr<CallLog> m_log;  // null: nothing is logged
  Role m_role;
  FILTER_STATE m_state = State_Stopped;
  std::vector<std::unique_ptr<FakePin>> m_pins;  // owned
  IReferenceClock* m_clock = nullptr;            // counted
  std::atomic<IFilterGraph*> m_graph{nullptr};   // not counted: the graph holds the filter
};

inline ULONG FakePin::AddRef() { return m_owner->AddRef(); }
inline ULONG FakePin::Release() { return m_owner->Release(); }

inline HRESULT FakePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* pmt) {
  if (!connector) return E_POINTER;
  if (m_peer) return VFW_E_ALREADY_CONNECTED;
  if (FAILED(receiveResult)) return receiveResult;
  if (FAILED(m_owner->inputRefusal)) return m_owner->inputRefusal;
  if (!Accepts(pmt)) return VFW_E_TYPE_NOT_ACCEPTED;
  connector->AddRef();
  m_peer = connector;
  m_owner->OnInputConnected();
  return S_OK;
}

inline HRESULT FakePin::QueryPinInfo(PIN_INFO* info) {
  info->pFilter = m_owner;
  m_owner->AddRef();
  info->dir = m_direction;
  size_t n = std::min(m_name.size(), size_t{MAX_PIN_NAME - 1});
  std::copy(m_name.begin(), m_name.begin() + n, info->achName);
  info->achName[n] = 0;
  return S_OK;
}
