#include "HardeningKit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "splitter/SplitterIdentifiers.h"
#include "support/MemoryAsyncSource.h"

namespace hardening {

HRESULT LoadedModule::Load() {
  Unload();
  m_module = LoadLibraryA(TESSALY_MODULE_PATH);
  if (m_module == nullptr) {
    return E_FAIL;
  }
  m_getClassObject = Export<GetClassObjectFn>("DllGetClassObject");
  m_canUnloadNow = Export<PlainFn>("DllCanUnloadNow");
  m_registerServer = Export<PlainFn>("DllRegisterServer");
  m_unregisterServer = Export<PlainFn>("DllUnregisterServer");
  if (m_getClassObject == nullptr || m_canUnloadNow == nullptr || m_registerServer == nullptr ||
      m_unregisterServer == nullptr) {
    Unload();
    return E_FAIL;
  }
  return S_OK;
}

void LoadedModule::Unload() {
  if (m_module != nullptr) {
    FreeLibrary(m_module);
  }
  m_module = nullptr;
  m_getClassObject = nullptr;
  m_canUnloadNow = nullptr;
  m_registerServer = nullptr;
  m_unregisterServer = nullptr;
}

HRESULT LoadedModule::GetClassObject(REFCLSID classId, REFIID iid, void** object) const {
  return m_getClassObject != nullptr ? m_getClassObject(classId, iid, object) : E_UNEXPECTED;
}

HRESULT LoadedModule::CanUnloadNow() const {
  return m_canUnloadNow != nullptr ? m_canUnloadNow() : E_UNEXPECTED;
}

HRESULT LoadedModule::RegisterServer() const {
  return m_registerServer != nullptr ? m_registerServer() : E_UNEXPECTED;
}

HRESULT LoadedModule::UnregisterServer() const {
  return m_unregisterServer != nullptr ? m_unregisterServer() : E_UNEXPECTED;
}

DelayedReleaser::DelayedReleaser() : m_thread([this] { Main(); }) {}

DelayedReleaser::~DelayedReleaser() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_exit = true;
    m_changed.notify_all();
  }
  m_thread.join();
}

void DelayedReleaser::Post(IMediaSample* sample, std::chrono::microseconds delay) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_pending.push_back({std::chrono::steady_clock::now() + delay, sample});
  m_changed.notify_all();
}

bool DelayedReleaser::Drain() {
  std::unique_lock<std::mutex> guard(m_lock);
  if (m_changed.wait_for(guard, std::chrono::minutes(1),
                         [&] { return m_pending.empty() && !m_busy; })) {
    return true;
  }
  ADD_FAILURE() << m_pending.size() << " kept samples were never released within a minute";
  return false;
}

void DelayedReleaser::Main() {
  std::unique_lock<std::mutex> guard(m_lock);
  for (;;) {
    if (m_pending.empty()) {
      if (m_exit) {
        return;
      }
      m_changed.wait(guard);
      continue;
    }
    auto due = std::min_element(m_pending.begin(), m_pending.end(),
                                [](const Pending& a, const Pending& b) { return a.due < b.due; });
    // On exit everything left goes back at once.
    if (!m_exit && due->due > std::chrono::steady_clock::now()) {
      m_changed.wait_until(guard, due->due);
      continue;
    }
    IMediaSample* sample = due->sample;
    m_pending.erase(due);
    m_busy = true;
    // Not under the lock: the release may wake the worker, which may post.
    guard.unlock();
    sample->Release();
    guard.lock();
    m_busy = false;
    m_changed.notify_all();
  }
}

StreamSinkPin::StreamSinkPin(TestFilterBase* owner, HRESULT* result, DelayedReleaser* releaser,
                             uint32_t seed)
    : RecordingInputPin(owner, WIDE("In"), result), m_releaser(releaser), m_random(seed) {
  sampleAnswer = [this](IMediaSample* sample) { return Answer(sample); };
}

void StreamSinkPin::SetPolicy(const SinkPolicy& policy) {
  std::lock_guard<std::mutex> guard(m_policyLock);
  m_policy = policy;
}

HRESULT StreamSinkPin::Answer(IMediaSample* sample) {
  std::chrono::microseconds delay{0};
  bool keep = false;
  {
    std::lock_guard<std::mutex> guard(m_policyLock);
    std::uniform_int_distribution<int> percent(0, 99);
    const int roll = percent(m_random);
    const int64_t maxDelay = m_policy.maxDelay.count();
    delay = std::chrono::microseconds(
        maxDelay > 0 ? std::uniform_int_distribution<int64_t>(0, maxDelay)(m_random) : 0);
    if (roll < m_policy.refuseChance) {
      return percent(m_random) < 70 ? E_FAIL : S_FALSE;
    }
    const int past = roll - m_policy.refuseChance - m_policy.holdChance;
    if (past >= 0) {
      keep = past < m_policy.keepChance && m_releaser != nullptr;
      if (!keep) {
        return S_OK;
      }
    }
  }
  if (keep) {
    sample->AddRef();
    m_releaser->Post(sample, delay);
  } else {
    std::this_thread::sleep_for(delay);
  }
  return S_OK;
}

StreamSink::StreamSink(HRESULT* result, DelayedReleaser* releaser, uint32_t seed)
    : TestFilterBase("StreamSink") {
  AddPin(new StreamSinkPin(this, result, releaser, seed));
}

HRESULT SplitterGraph::Build(const std::vector<uint8_t>& file, DelayedReleaser* releaser,
                             uint32_t seed) {
  HRESULT hr = m_module.Load();
  if (FAILED(hr)) {
    return hr;
  }
  CComHolder<IClassFactory> factory;
  hr = m_module.GetClassObject(CLSID_CpkSplitter, IID_IClassFactory,
                               factory.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  hr = factory->CreateInstance(nullptr, IID_IBaseFilter, m_splitter.ReleaseAndGetVoidAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  auto* source = new MemoryAsyncSource(file);
  source->SetSubtype(MEDIASUBTYPE_CpkFilm);
  m_source = static_cast<IBaseFilter*>(source);
  CComHolder<IPin> input;
  hr = m_splitter->FindPin(WIDE("Input"), input.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  hr = source->OutputPin()->Connect(input.Get(), nullptr);
  if (FAILED(hr)) {
    return hr;
  }
  hr = ConnectSink(WIDE("Audio"), releaser, seed, &m_audioSink);
  if (FAILED(hr)) {
    return hr;
  }
  return ConnectSink(WIDE("Video"), releaser, seed ^ 0x5bd1e995u, &m_videoSink);
}

HRESULT SplitterGraph::ConnectSink(const WCHAR* name, DelayedReleaser* releaser, uint32_t seed,
                                   CComHolder<IBaseFilter>* sink) {
  CComHolder<IPin> output;
  HRESULT hr = m_splitter->FindPin(name, output.ReleaseAndGetAddressOf());
  if (FAILED(hr)) {
    return hr;
  }
  HRESULT built = S_OK;
  auto* filter = new StreamSink(&built, releaser, seed);
  *sink = static_cast<IBaseFilter*>(filter);
  if (FAILED(built)) {
    return built;
  }
  return output->Connect(static_cast<IPin*>(filter->Input()), nullptr);
}

bool SplitterGraph::TearDown() {
  Stop();
  for (IBaseFilter* filter : Filters()) {
    CComHolder<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.ReleaseAndGetAddressOf())) || !pins) {
      continue;
    }
    IPin* pin = nullptr;
    ULONG fetched = 0;
    while (pins->Next(1, &pin, &fetched) == S_OK && fetched == 1) {
      pin->Disconnect();
      pin->Release();
    }
  }
  m_audioSink.Reset();
  m_videoSink.Reset();
  m_splitter.Reset();
  m_source.Reset();
  const bool unloadable = !m_module.Loaded() || m_module.CanUnloadNow() == S_OK;
  m_module.Unload();
  return unloadable;
}

std::vector<IBaseFilter*> SplitterGraph::Filters() const {
  std::vector<IBaseFilter*> filters;
  for (IBaseFilter* filter :
       {m_audioSink.Get(), m_videoSink.Get(), m_splitter.Get(), m_source.Get()}) {
    if (filter != nullptr) {
      filters.push_back(filter);
    }
  }
  return filters;
}

HRESULT SplitterGraph::Pause() {
  HRESULT first = S_OK;
  for (IBaseFilter* filter : Filters()) {
    HRESULT hr = filter->Pause();
    if (FAILED(hr) && SUCCEEDED(first)) {
      first = hr;
    }
  }
  return first;
}

HRESULT SplitterGraph::Run() {
  HRESULT first = S_OK;
  for (IBaseFilter* filter : Filters()) {
    HRESULT hr = filter->Run(0);
    if (FAILED(hr) && SUCCEEDED(first)) {
      first = hr;
    }
  }
  return first;
}

HRESULT SplitterGraph::Stop() {
  HRESULT first = S_OK;
  for (IBaseFilter* filter : Filters()) {
    HRESULT hr = filter->Stop();
    if (FAILED(hr) && SUCCEEDED(first)) {
      first = hr;
    }
  }
  return first;
}

StreamSinkPin* SplitterGraph::AudioInput() const {
  return m_audioSink ? static_cast<StreamSink*>(m_audioSink.Get())->Input() : nullptr;
}

StreamSinkPin* SplitterGraph::VideoInput() const {
  return m_videoSink ? static_cast<StreamSink*>(m_videoSink.Get())->Input() : nullptr;
}

Watchdog::Watchdog() : m_thread([this] { Main(); }) {}

Watchdog::~Watchdog() {
  {
    std::lock_guard<std::mutex> guard(m_lock);
    m_exit = true;
    m_changed.notify_all();
  }
  m_thread.join();
}

void Watchdog::Arm(std::string what) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_armed = true;
  m_reported = false;
  m_deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
  m_what = std::move(what);
  m_changed.notify_all();
}

void Watchdog::Disarm() {
  std::lock_guard<std::mutex> guard(m_lock);
  m_armed = false;
  m_changed.notify_all();
}

void Watchdog::Main() {
  std::unique_lock<std::mutex> guard(m_lock);
  while (!m_exit) {
    if (!m_armed || m_reported) {
      m_changed.wait(guard);
      continue;
    }
    if (std::chrono::steady_clock::now() >= m_deadline) {
      std::fprintf(stderr, "still waiting after a minute: %s\n", m_what.c_str());
      std::fflush(stderr);
      m_reported = true;
      continue;
    }
    m_changed.wait_until(guard, m_deadline);
  }
}

filmwriter::FilmWriter InterleavedMovie(int audioRows, int videoRows, size_t audioBytes,
                                        size_t videoBytes) {
  filmwriter::FilmWriter writer;
  const int rows = std::max(audioRows, videoRows);
  for (int i = 0; i < rows; ++i) {
    const uint32_t seed = static_cast<uint32_t>(i) * 2;
    if (i < audioRows) {
      writer.AddAudio(Pattern(audioBytes + static_cast<size_t>(i), seed + 1));
    }
    if (i < videoRows) {
      // Lengths and durations vary so that a row is known by its bytes and times.
      writer.AddVideo(Pattern(videoBytes + 3 * static_cast<size_t>(i), seed + 2),
                      30 + static_cast<uint32_t>(i % 5), i % 3 == 0);
    }
  }
  return writer;
}

}  // namespace hardening
