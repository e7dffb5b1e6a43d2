// The module in a player's hands: the platform's graph renders a movie into
// its renderers (which hold while paused and present on the clock), and a
// seeded random run of commands drives it as a player's buttons and seek bar
// would: Run, Pause, Stop, seeks through the graph's IMediaSeeking and
// IMediaPosition and through the splitter's own position object, stop
// positions, and outputs disconnected and reconnected while stopped. After
// every command: the state is reached, nothing arrives while stopped, every
// sample carries its run's segment and a row's media time, and no run ends
// twice. The last run plays to EC_COMPLETE with every row shown. Bounded by
// a count; no wait has a time limit that a slow machine could meet.
#include <gtest/gtest.h>
#include <platform/GraphBuilding.h>
#include <platform/Registry.h>
#include <platform/Rendering.h>

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>

#include "HardeningKit.h"
#include "splitter/SplitterIdentifiers.h"

namespace {

constexpr int kCommands = 400;
constexpr uint32_t kSeed = 24;
// GetState's patience for a Pause to complete: a hang, not a slow machine.
constexpr DWORD kPatienceMs = 120000;
constexpr int kRows = 24;

// What one renderer saw, checked as it arrives against the segment the soak
// has asked for. A seek in progress allows the old segment or the new one.
class SoakObserver final : public platform::IRenderObserver {
 public:
  explicit SoakObserver(std::set<std::pair<REFERENCE_TIME, REFERENCE_TIME>> rows)
      : m_rows(std::move(rows)) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --m_refs; }  // the test owns it
  void STDMETHODCALLTYPE OnHold(IMediaSample* sample) override { Check(sample, false); }
  void STDMETHODCALLTYPE OnPresent(IMediaSample* sample, REFERENCE_TIME) override {
    Check(sample, true);
  }
  void STDMETHODCALLTYPE OnEndOfStream() override {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_stopped) {
      Fault("end of stream while stopped");
    }
    if (!m_seeking) {
      ++m_ends;
    }
  }

  // The soak's side, called between commands.
  // stop: where the streams end after the seek (each before its first
  // sample that starts there).
  void BeginSeek(REFERENCE_TIME start, REFERENCE_TIME stop) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_seeking = true;
    m_nextStart = start;
    m_nextStop = stop;
  }
  void EndSeek() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_seeking = false;
    m_start = m_nextStart;
    m_stop = m_nextStop;
    m_ends = 0;
    m_shown = 0;
  }
  void SetStopped(bool stopped) {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_stopped && !stopped) {
      m_ends = 0;
      m_shown = 0;
    }
    m_stopped = stopped;
  }
  std::string Faults() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_faults;
  }
  int Ends() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_ends;
  }
  int Shown() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_shown;
  }
  ULONG Refs() const { return m_refs.load(); }
  int Seen() {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_seen;
  }

 private:
  void Check(IMediaSample* sample, bool shown) {
    REFERENCE_TIME start = 0;
    REFERENCE_TIME stop = 0;
    LONGLONG mediaStart = 0;
    LONGLONG mediaStop = 0;
    const bool timed = sample->GetTime(&start, &stop) == S_OK;
    const bool mediaTimed = sample->GetMediaTime(&mediaStart, &mediaStop) == S_OK;
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_seen;
    if (m_stopped) {
      Fault("a sample while stopped");
    }
    if (!timed || !mediaTimed || m_rows.count({mediaStart, mediaStop}) == 0) {
      Fault("a sample that is no row, media time " + std::to_string(mediaStart));
      return;
    }
    const bool current =
        start == mediaStart - m_start && stop == mediaStop - m_start && mediaStart < m_stop;
    const bool next = m_seeking && start == mediaStart - m_nextStart && mediaStart < m_nextStop;
    if (!current && !next) {
      Fault("a sample at " + std::to_string(mediaStart) + " stamped " + std::to_string(start) +
            " in the segment from " + std::to_string(m_start));
    }
    if (shown && !m_seeking) {
      ++m_shown;
    }
  }
  void Fault(const std::string& what) {
    if (m_faults.empty()) {
      m_faults = what;
    }
  }

  const std::set<std::pair<REFERENCE_TIME, REFERENCE_TIME>> m_rows;
  std::atomic<ULONG> m_refs{0};
  std::mutex m_lock;  // guards everything below
  bool m_stopped = true;
  bool m_seeking = false;
  REFERENCE_TIME m_start = 0;
  REFERENCE_TIME m_stop = 0x7FFFFFFFFFFFFFFFLL;
  REFERENCE_TIME m_nextStart = 0;
  REFERENCE_TIME m_nextStop = 0;
  int m_ends = 0;   // in the current run
  int m_shown = 0;  // presented in the current run
  int m_seen = 0;   // held or presented in the whole soak
  std::string m_faults;
};

filmwriter::FilmWriter SoakMovie() {
  filmwriter::FilmFormat format;
  format.sampleRate = 44100;
  format.timeBase = 60000;  // short real-time runs
  filmwriter::FilmWriter writer(format);
  for (int row = 0; row < kRows; ++row) {
    writer.AddAudio(Pattern(40, static_cast<uint32_t>(row)));
    writer.AddVideo(Pattern(60, static_cast<uint32_t>(100 + row)), 30, row % 4 == 0);
  }
  return writer;
}

std::set<std::pair<REFERENCE_TIME, REFERENCE_TIME>> RowsOf(
    const filmwriter::FilmExpectation& expect, filmwriter::Stream stream) {
  std::set<std::pair<REFERENCE_TIME, REFERENCE_TIME>> rows;
  for (const filmwriter::ExpectedSample& sample : expect.samples) {
    if (sample.stream == stream) {
      rows.insert({sample.start, sample.stop});
    }
  }
  return rows;
}

class PlayerSoakTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseMemoryRegistry();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    ASSERT_EQ(m_module.Load(), S_OK);
    ASSERT_EQ(m_module.RegisterServer(), S_OK);
  }
  void TearDown() override {
    EXPECT_EQ(m_module.CanUnloadNow(), S_OK) << "an object of the module outlived the soak";
    m_module.UnregisterServer();
    m_module.Unload();
    CoFreeUnusedLibraries();
    CoUninitialize();
    platform::UseMemoryRegistry();
  }

  hardening::LoadedModule m_module;
};

// The splitter among the graph's filters, counted.
CComHolder<IBaseFilter> FindSplitter(IGraphBuilder* graph) {
  CComHolder<IEnumFilters> filters;
  CComHolder<IBaseFilter> found;
  if (FAILED(graph->EnumFilters(filters.ReleaseAndGetAddressOf()))) {
    return found;
  }
  IBaseFilter* filter = nullptr;
  while (filters->Next(1, &filter, nullptr) == S_OK) {
    CLSID id = {};
    if (!found && SUCCEEDED(filter->GetClassID(&id)) && IsEqualGUID(id, CLSID_CpkSplitter)) {
      found = filter;
    }
    filter->Release();
  }
  return found;
}

TEST_F(PlayerSoakTest, RandomCommandsOfAPlayerKeepEveryStateSampleAndEndRight) {
  filmwriter::FilmWriter writer = SoakMovie();
  const filmwriter::FilmExpectation expect = writer.Expect();
  SoakObserver audio(RowsOf(expect, filmwriter::Stream::Audio));
  SoakObserver video(RowsOf(expect, filmwriter::Stream::Video));
  SoakObserver* observers[] = {&audio, &video};
  const std::string path = "/tmp/tessaly-player-soak-" + std::to_string(getpid()) + ".film";
  ASSERT_TRUE(writer.WriteFile(path));
  REFERENCE_TIME duration = 0;
  for (const filmwriter::ExpectedSample& sample : expect.samples) {
    duration = sample.stop > duration ? sample.stop : duration;
  }
  {
    CComHolder<IGraphBuilder> graph;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, graph.ReleaseAndGetVoidAddressOf()));
    auto make = [&](IPin*, const AM_MEDIA_TYPE* type, IBaseFilter** sink) -> HRESULT {
      if (type == nullptr || IsEqualGUID(type->majortype, MEDIATYPE_Stream)) return S_FALSE;
      const bool isAudio = IsEqualGUID(type->majortype, MEDIATYPE_Audio);
      return platform::CreateRenderer(isAudio ? &audio : &video, sink);
    };
    auto* factory = new platform::CallbackSinkFactory<decltype(make)>(make);
    factory->AddRef();
    CComHolder<platform::IGraphRendering> rendering;
    ASSERT_EQ(S_OK, graph->QueryInterface(platform::IID_IGraphRendering,
                                          rendering.ReleaseAndGetVoidAddressOf()));
    rendering->SetRenderSinkFactory(factory);
    factory->Release();
    const std::u16string widePath(path.begin(), path.end());
    ASSERT_EQ(S_OK, graph->RenderFile(widePath.c_str(), nullptr));
    CComHolder<IMediaControl> control;
    CComHolder<IMediaSeeking> seeking;
    CComHolder<IMediaPosition> graphPosition;
    CComHolder<IMediaEvent> events;
    ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaControl, control.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaSeeking, seeking.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaPosition,
                                          graphPosition.ReleaseAndGetVoidAddressOf()));
    ASSERT_EQ(S_OK, graph->QueryInterface(IID_IMediaEvent, events.ReleaseAndGetVoidAddressOf()));
    CComHolder<IBaseFilter> splitter = FindSplitter(graph.Get());
    ASSERT_TRUE(splitter);
    CComHolder<IMediaPosition> ownPosition;
    ASSERT_EQ(S_OK, splitter->QueryInterface(IID_IMediaPosition,
                                             ownPosition.ReleaseAndGetVoidAddressOf()));

    std::mt19937 random(kSeed);
    auto upTo = [&](int most) { return std::uniform_int_distribution<int>(0, most)(random); };
    OAFilterState state = State_Stopped;
    REFERENCE_TIME stopAt = 0x7FFFFFFFFFFFFFFFLL;
    for (int step = 0; step < kCommands; ++step) {
      const int command = upTo(9);
      const std::string where = "step " + std::to_string(step) + ", command " +
                                std::to_string(command) + ", seed " + std::to_string(kSeed);
      SCOPED_TRACE(where);
      const REFERENCE_TIME target = duration * upTo(10) / 8;  // now and then past the end
      HRESULT hr = S_OK;
      OAFilterState wanted = state;
      switch (command) {
        case 0:
        case 1:
          for (SoakObserver* observer : observers) observer->SetStopped(false);
          hr = control->Run();
          wanted = State_Running;
          break;
        case 2:
          for (SoakObserver* observer : observers) observer->SetStopped(false);
          hr = control->Pause();
          wanted = State_Paused;
          break;
        case 3:
          hr = control->Stop();
          for (SoakObserver* observer : observers) observer->SetStopped(true);
          wanted = State_Stopped;
          break;
        case 4:
        case 5:
        case 6:
        case 7: {
          LONGLONG current = target;
          LONGLONG end = target + duration / 2;
          stopAt = command == 5 ? end : stopAt;
          for (SoakObserver* observer : observers) observer->BeginSeek(target, stopAt);
          if (command == 4) {
            hr = seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                       AM_SEEKING_NoPositioning);
          } else if (command == 5) {
            // A stop position with the seek: each stream ends before it.
            hr = seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, &end,
                                       AM_SEEKING_AbsolutePositioning);
          } else {
            IMediaPosition* position = command == 6 ? graphPosition.Get() : ownPosition.Get();
            hr = position->put_CurrentPosition(static_cast<double>(target) / 1e7);
          }
          for (SoakObserver* observer : observers) observer->EndSeek();
          break;
        }
        default: {
          // A player switching outputs: refused unless stopped.
          CComHolder<IPin> output;
          ASSERT_EQ(S_OK, splitter->FindPin(upTo(1) == 0 ? WIDE("Audio") : WIDE("Video"),
                                            output.ReleaseAndGetAddressOf()));
          CComHolder<IPin> renderer;
          ASSERT_EQ(S_OK, output->ConnectedTo(renderer.ReleaseAndGetAddressOf()));
          if (state != State_Stopped) {
            EXPECT_EQ(VFW_E_NOT_STOPPED, output->Disconnect());
            break;
          }
          ASSERT_EQ(S_OK, graph->Disconnect(output.Get()));
          ASSERT_EQ(S_OK, graph->Disconnect(renderer.Get()));
          hr = graph->ConnectDirect(output.Get(), renderer.Get(), nullptr);
          break;
        }
      }
      ASSERT_TRUE(SUCCEEDED(hr)) << std::hex << hr;
      // The state is reached: a Pause completes once each renderer holds. A
      // Run from a Pause not yet complete is finished by the graph's own
      // thread; until that thread has run the filters, GetState waits for
      // the renderers and then answers VFW_S_STATE_INTERMEDIATE at once.
      OAFilterState reached = -1;
      HRESULT settled = control->GetState(kPatienceMs, &reached);
      while (settled == VFW_S_STATE_INTERMEDIATE && reached == State_Running) {
        std::this_thread::yield();
        settled = control->GetState(kPatienceMs, &reached);
      }
      ASSERT_EQ(S_OK, settled);
      ASSERT_EQ(wanted, reached);
      state = reached;
      for (SoakObserver* observer : observers) {
        ASSERT_EQ("", observer->Faults());
        ASSERT_LE(observer->Ends(), 1);
      }
    }

    // The last run plays from the start to the end.
    ASSERT_EQ(S_OK, control->Stop());
    for (SoakObserver* observer : observers) observer->SetStopped(true);
    LONGLONG start = 0;
    LONGLONG end = duration;
    ASSERT_EQ(S_OK, seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, &end,
                                          AM_SEEKING_AbsolutePositioning));
    for (SoakObserver* observer : observers) {
      observer->BeginSeek(0, duration);
      observer->EndSeek();
      observer->SetStopped(false);
    }
    ASSERT_TRUE(SUCCEEDED(control->Run()));
    LONG code = 0;
    ASSERT_EQ(S_OK, events->WaitForCompletion(kPatienceMs, &code));
    EXPECT_EQ(EC_COMPLETE, code);
    for (SoakObserver* observer : observers) {
      EXPECT_EQ("", observer->Faults());
      EXPECT_EQ(1, observer->Ends());
      EXPECT_EQ(kRows, observer->Shown());
    }
    EXPECT_EQ(S_OK, control->Stop());
    rendering->SetRenderSinkFactory(nullptr);
    std::printf("[ soak     ] %d commands, seed %u: %d audio and %d video samples held or shown\n",
                kCommands, kSeed, audio.Seen(), video.Seen());
  }
  EXPECT_EQ(0u, audio.Refs());
  EXPECT_EQ(0u, video.Refs());
  std::remove(path.c_str());
}

}  // namespace
