// The platform's renderer and the graph's Pause and Run around it: samples
// held while paused, released at their time on a clock the test moves, and a
// graph that completes Pause (and starts a Run) only when every renderer holds one.
#include <platform/Rendering.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "StreamingTestSupport.h"
#include "support/FakeFilter.h"

namespace streaming_test {
namespace {

// A clock that stands still until the test moves it.
class TestClock final : public IReferenceClock {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
    if (riid != IID_IUnknown && riid != IID_IReferenceClock) return E_NOINTERFACE;
    *ppv = static_cast<IReferenceClock*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // lives on the test's stack
  HRESULT STDMETHODCALLTYPE GetTime(REFERENCE_TIME* time) override {
    std::lock_guard<std::mutex> guard(m_lock);
    *time = m_now;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AdviseTime(REFERENCE_TIME base, REFERENCE_TIME stream, HEVENT event,
                                       DWORD_PTR* cookie) override {
    std::lock_guard<std::mutex> guard(m_lock);
    *cookie = ++m_lastCookie;
    m_advises.push_back({*cookie, base + stream, event});
    SignalDueLocked();
    m_changed.notify_all();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE AdvisePeriodic(REFERENCE_TIME, REFERENCE_TIME, HSEMAPHORE,
                                           DWORD_PTR*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD_PTR cookie) override {
    std::lock_guard<std::mutex> guard(m_lock);
    std::erase_if(m_advises, [cookie](const Advise& a) { return a.cookie == cookie; });
    return S_OK;
  }

  // The due time of the first advise once one is pending.
  REFERENCE_TIME WaitForAdvise() {
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait(lock, [this] { return !m_advises.empty(); });
    return m_advises.front().due;
  }
  void MoveTo(REFERENCE_TIME now) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_now = now;
    SignalDueLocked();
  }
  ULONG Refs() const { return m_refs; }

 private:
  struct Advise {
    DWORD_PTR cookie;
    REFERENCE_TIME due;
    HEVENT event;
  };
  void SignalDueLocked() {
    for (auto it = m_advises.begin(); it != m_advises.end();) {
      if (it->due > m_now) {
        ++it;
        continue;
      }
      SetEvent(reinterpret_cast<HANDLE>(it->event));
      it = m_advises.erase(it);
    }
  }

  std::atomic<ULONG> m_refs{0};
  std::mutex m_lock;
  std::condition_variable m_changed;
  REFERENCE_TIME m_now = 0;
  DWORD_PTR m_lastCookie = 0;
  std::vector<Advise> m_advises;
};

class PresentLog final : public platform::IRenderObserver {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // lives on the test's stack
  void STDMETHODCALLTYPE OnHold(IMediaSample*) override { ++held; }
  void STDMETHODCALLTYPE OnPresent(IMediaSample*, REFERENCE_TIME clockTime) override {
    std::lock_guard<std::mutex> guard(m_lock);
    presentedAt.push_back(clockTime);
  }
  void STDMETHODCALLTYPE OnEndOfStream() override { ++ended; }
  std::vector<REFERENCE_TIME> Presented() {
    std::lock_guard<std::mutex> guard(m_lock);
    return presentedAt;
  }

  std::atomic<int> held{0};
  std::atomic<int> ended{0};

 private:
  std::atomic<ULONG> m_refs{0};
  std::mutex m_lock;
  std::vector<REFERENCE_TIME> presentedAt;
};

// An upstream pin's seeking: records the positions each renderer passes on.
class UpstreamSeeking final : public IMediaSeeking {
 public:
  explicit UpstreamSeeking(LONGLONG duration) : m_duration(duration) {}
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // lives on the test's stack
  HRESULT STDMETHODCALLTYPE GetCapabilities(DWORD* caps) override {
    *caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanSeekForwards | AM_SEEKING_CanGetDuration;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE CheckCapabilities(DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsFormatSupported(const GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE QueryPreferredFormat(GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetTimeFormat(GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsUsingTimeFormat(const GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetTimeFormat(const GUID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetDuration(LONGLONG* duration) override {
    *duration = m_duration;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetStopPosition(LONGLONG* stop) override {
    *stop = m_stop;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetCurrentPosition(LONGLONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE ConvertTimeFormat(LONGLONG*, const GUID*, LONGLONG,
                                              const GUID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                                         DWORD stopFlags) override {
    seeks.push_back({current ? *current : -1, currentFlags, stop ? *stop : -1, stopFlags});
    if (stop) m_stop = *stop;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetPositions(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetAvailable(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetRate(double) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetRate(double*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetPreroll(LONGLONG*) override { return E_NOTIMPL; }

  struct Seek {
    LONGLONG current;
    DWORD currentFlags;
    LONGLONG stop;
    DWORD stopFlags;
    bool operator==(const Seek&) const = default;
  };
  std::vector<Seek> seeks;
  ULONG Refs() const { return m_refs; }

 private:
  std::atomic<ULONG> m_refs{0};
  LONGLONG m_duration;
  LONGLONG m_stop = m_duration;
};

// A renderer fed by a fake upstream pin; each delivery runs on its own thread,
// since Receive blocks while the renderer holds or waits.
struct FedRenderer {
  CComHolder<IBaseFilter> renderer;
  FakeFilter* upstream = nullptr;
  FakePin* output = nullptr;  // owned by upstream
  CComHolder<IMemInputPin> input;
  std::vector<std::thread> feeders;
  std::vector<HRESULT> results;
  std::mutex resultLock;

  void Deliver(IMemAllocator* allocator, REFERENCE_TIME start) {
    IMediaSample* sample = nullptr;
    ASSERT_EQ(S_OK, allocator->GetBuffer(&sample, nullptr, nullptr, 0));
    REFERENCE_TIME stop = start + 1;
    sample->SetTime(&start, &stop);
    feeders.emplace_back([this, sample] {
      HRESULT hr = input->Receive(sample);
      sample->Release();
      std::lock_guard<std::mutex> guard(resultLock);
      results.push_back(hr);
    });
  }
  std::vector<HRESULT> Join() {
    for (std::thread& feeder : feeders) feeder.join();
    feeders.clear();
    std::lock_guard<std::mutex> guard(resultLock);
    return std::exchange(results, {});
  }
};

class RendererTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    allocator = Create<IMemAllocator>(CLSID_MemoryAllocator, IID_IMemAllocator);
    ALLOCATOR_PROPERTIES request{8, 64, 1, 0};
    ALLOCATOR_PROPERTIES actual{};
    ASSERT_EQ(S_OK, allocator->SetProperties(&request, &actual));
    ASSERT_EQ(S_OK, allocator->Commit());
  }
  void TearDown() override {
    for (FedRenderer& fed : fed) {
      fed.renderer->Stop();
      fed.Join();
    }
    control.Reset();
    graph.Reset();
    for (FedRenderer& fed : fed) {
      // Connected pins hold each other: break the connection on both ends.
      CComHolder<IPin> input;
      fed.input->QueryInterface(IID_IPin, input.ReleaseAndGetVoidAddressOf());
      input->Disconnect();
      fed.output->Disconnect();
      input.Reset();
      fed.input.Reset();
      fed.renderer.Reset();
      fed.upstream->Release();
    }
    allocator->Decommit();
    allocator.Reset();
    EXPECT_EQ(0u, log.AddRef() - 1);
    log.Release();
    EXPECT_EQ(0u, clock.Refs());
    ComTest::TearDown();
  }

  FedRenderer& AddRenderer() {
    FedRenderer& added = fed.emplace_back();
    EXPECT_EQ(S_OK, platform::CreateRenderer(&log, added.renderer.ReleaseAndGetAddressOf()));
    added.upstream = FakeFilter::New();
    CComHolder<IPin> input;
    EXPECT_EQ(S_OK, added.renderer->FindPin(u"In", input.ReleaseAndGetAddressOf()));
    AM_MEDIA_TYPE type{};
    type.majortype = MEDIATYPE_Video;
    type.formattype = FORMAT_VideoInfo;
    added.output = added.upstream->AddPin(PINDIR_OUTPUT, u"Out");
    EXPECT_EQ(S_OK, added.output->Connect(input.Get(), &type));
    EXPECT_EQ(S_OK,
              input->QueryInterface(IID_IMemInputPin, added.input.ReleaseAndGetVoidAddressOf()));
    return added;
  }
  void BuildGraph() {
    graph = Create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaControl, control.ReleaseAndGetVoidAddressOf()));
    for (FedRenderer& each : fed) ASSERT_EQ(S_OK, graph->AddFilter(each.renderer.Get(), nullptr));
  }

  TestClock clock;
  PresentLog log;
  CComHolder<IMemAllocator> allocator;
  std::deque<FedRenderer> fed;
  CComHolder<IGraphBuilder> graph;
  CComHolder<IMediaControl> control;
};

TEST_F(RendererTest, ReleasesEachSampleAtItsTimeOnTheClockAndStopCancelsTheWait) {
  FedRenderer& one = AddRenderer();
  IBaseFilter* renderer = one.renderer.Get();
  ASSERT_EQ(S_OK, renderer->SetSyncSource(&clock));
  EXPECT_EQ(S_FALSE, renderer->Pause());
  FILTER_STATE state{};
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, renderer->GetState(0, &state));
  one.Deliver(allocator.Get(), 1000);
  EXPECT_EQ(S_OK, renderer->GetState(INFINITE, &state));
  EXPECT_EQ(State_Paused, state);
  EXPECT_EQ(1, log.held.load());
  EXPECT_TRUE(log.Presented().empty());

  ASSERT_EQ(S_OK, renderer->Run(500));
  EXPECT_EQ(1500, clock.WaitForAdvise());
  clock.MoveTo(1499);
  EXPECT_TRUE(log.Presented().empty());
  clock.MoveTo(1500);
  EXPECT_EQ(std::vector<HRESULT>{S_OK}, one.Join());
  EXPECT_EQ(std::vector<REFERENCE_TIME>{1500}, log.Presented());

  one.Deliver(allocator.Get(), 5000);
  EXPECT_EQ(5500, clock.WaitForAdvise());
  EXPECT_EQ(S_OK, renderer->Stop());
  EXPECT_EQ(std::vector<HRESULT>{VFW_E_WRONG_STATE}, one.Join());
  EXPECT_EQ(1u, log.Presented().size());
  EXPECT_EQ(S_OK, renderer->SetSyncSource(nullptr));
}

TEST_F(RendererTest, EndOfStreamCompletesPauseAndIsReportedOnceRunning) {
  FedRenderer& one = AddRenderer();
  BuildGraph();
  CComHolder<IMediaEvent> events;
  ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEvent, events.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(S_FALSE, control->Pause());
  CComHolder<IPin> input;
  ASSERT_EQ(S_OK, one.input->QueryInterface(IID_IPin, input.ReleaseAndGetVoidAddressOf()));
  EXPECT_EQ(S_OK, input->EndOfStream());
  OAFilterState state = -1;
  EXPECT_EQ(S_OK, control->GetState(0, &state));
  LONG code = 0;
  EXPECT_EQ(E_ABORT, events->WaitForCompletion(0, &code));
  EXPECT_EQ(S_OK, control->Run());
  EXPECT_EQ(S_OK, events->WaitForCompletion(INFINITE, &code));
  EXPECT_EQ(EC_COMPLETE, code);
  EXPECT_EQ(1, log.ended.load());
}

TEST_F(RendererTest, GraphPauseCompletesOnlyWhenEveryRendererHoldsASample) {
  FedRenderer& audio = AddRenderer();
  FedRenderer& video = AddRenderer();
  BuildGraph();
  EXPECT_EQ(S_FALSE, control->Pause());
  OAFilterState state = -1;
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, control->GetState(0, &state));
  EXPECT_EQ(State_Paused, state);
  audio.Deliver(allocator.Get(), 0);
  FILTER_STATE held{};
  ASSERT_EQ(S_OK, audio.renderer->GetState(INFINITE, &held));
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, control->GetState(0, &state));
  video.Deliver(allocator.Get(), 0);
  EXPECT_EQ(S_OK, control->GetState(INFINITE, &state));
  EXPECT_EQ(State_Paused, state);

  // Complete now, so Run starts the renderers itself.
  EXPECT_EQ(S_OK, control->Run());
  EXPECT_EQ(std::vector<HRESULT>{S_OK}, audio.Join());
  EXPECT_EQ(std::vector<HRESULT>{S_OK}, video.Join());
  EXPECT_EQ(2u, log.Presented().size());
}

TEST_F(RendererTest, RunAskedBeforePauseCompletesStartsOnceTheLastRendererHolds) {
  FedRenderer& audio = AddRenderer();
  FedRenderer& video = AddRenderer();
  BuildGraph();
  audio.Deliver(allocator.Get(), 0);  // refused: the graph is stopped
  EXPECT_EQ(std::vector<HRESULT>{VFW_E_WRONG_STATE}, audio.Join());
  EXPECT_EQ(S_FALSE, control->Run());
  OAFilterState state = -1;
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, control->GetState(0, &state));
  EXPECT_EQ(State_Running, state);
  audio.Deliver(allocator.Get(), 0);
  FILTER_STATE held{};
  ASSERT_EQ(S_OK, audio.renderer->GetState(INFINITE, &held));
  EXPECT_EQ(State_Paused, held);  // still waiting for the video renderer
  video.Deliver(allocator.Get(), 0);
  EXPECT_EQ(std::vector<HRESULT>{S_OK}, audio.Join());
  EXPECT_EQ(std::vector<HRESULT>{S_OK}, video.Join());
  EXPECT_EQ(S_OK, control->GetState(INFINITE, &state));
  EXPECT_EQ(State_Running, state);
}

TEST_F(RendererTest, StopWhileARunWaitsForPauseCancelsIt) {
  FedRenderer& audio = AddRenderer();
  AddRenderer();
  BuildGraph();
  EXPECT_EQ(S_FALSE, control->Run());
  audio.Deliver(allocator.Get(), 0);
  FILTER_STATE held{};
  ASSERT_EQ(S_OK, audio.renderer->GetState(INFINITE, &held));
  EXPECT_EQ(S_OK, control->Stop());
  EXPECT_EQ(std::vector<HRESULT>{VFW_E_WRONG_STATE}, audio.Join());
  OAFilterState state = -1;
  EXPECT_EQ(S_OK, control->GetState(0, &state));
  EXPECT_EQ(State_Stopped, state);
  EXPECT_TRUE(log.Presented().empty());
}

TEST_F(RendererTest, GraphSeekingGoesOnceThroughEachRendererToItsUpstreamPin) {
  UpstreamSeeking audioUpstream(50'000'000);
  UpstreamSeeking videoUpstream(70'000'000);
  AddRenderer().output->seeking = &audioUpstream;
  AddRenderer().output->seeking = &videoUpstream;
  BuildGraph();
  CComHolder<IMediaSeeking> seeking;
  ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaSeeking, seeking.ReleaseAndGetVoidAddressOf()));
  LONGLONG duration = 0;
  EXPECT_EQ(S_OK, seeking->GetDuration(&duration));
  EXPECT_EQ(70'000'000, duration);
  CComHolder<IMediaPosition> position;
  ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaPosition, position.ReleaseAndGetVoidAddressOf()));
  REFTIME seconds = 0;
  EXPECT_EQ(S_OK, position->get_Duration(&seconds));
  EXPECT_DOUBLE_EQ(7.0, seconds);

  // Relative positions become absolute once, in the graph, not per renderer.
  LONGLONG current = 30'000'000;
  EXPECT_EQ(S_OK, seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                        AM_SEEKING_NoPositioning));
  current = 10'000'000;
  LONGLONG stop = 5'000'000;
  EXPECT_EQ(S_OK, seeking->SetPositions(
                      &current, AM_SEEKING_RelativePositioning | AM_SEEKING_ReturnTime, &stop,
                      AM_SEEKING_IncrementalPositioning | AM_SEEKING_ReturnTime));
  EXPECT_EQ(40'000'000, current);
  EXPECT_EQ(45'000'000, stop);
  using Seek = UpstreamSeeking::Seek;
  const std::vector<Seek> expected{
      {30'000'000, AM_SEEKING_AbsolutePositioning, -1, AM_SEEKING_NoPositioning},
      {40'000'000, AM_SEEKING_AbsolutePositioning, 45'000'000, AM_SEEKING_AbsolutePositioning}};
  EXPECT_EQ(expected, audioUpstream.seeks);
  EXPECT_EQ(expected, videoUpstream.seeks);
  EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&current));
  EXPECT_EQ(40'000'000, current);
  LONG can = OAFALSE;
  EXPECT_EQ(S_OK, position->CanSeekBackward(&can));
  EXPECT_EQ(OAFALSE, can);  // one renderer's upstream cannot: the graph cannot
  seeking.Reset();
  position.Reset();
  for (FedRenderer& each : fed) each.output->seeking = nullptr;
  EXPECT_EQ(0u, audioUpstream.Refs());
  EXPECT_EQ(0u, videoUpstream.Refs());
}

TEST_F(RendererTest, DropsPrerollSamplesWithoutHoldingThem) {
  FedRenderer& one = AddRenderer();
  IBaseFilter* renderer = one.renderer.Get();
  EXPECT_EQ(S_FALSE, renderer->Pause());
  IMediaSample* sample = nullptr;
  ASSERT_EQ(S_OK, allocator->GetBuffer(&sample, nullptr, nullptr, 0));
  sample->SetPreroll(TRUE);
  EXPECT_EQ(S_OK, one.input->Receive(sample));
  sample->Release();
  FILTER_STATE state{};
  EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, renderer->GetState(0, &state));
  EXPECT_EQ(0, log.held.load());
}

}  // namespace
}  // namespace streaming_test
