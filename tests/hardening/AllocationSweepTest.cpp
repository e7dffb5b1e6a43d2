// Runs one whole life of the module (load, create through the class factory,
// connect a FILM file with both streams, commit the input pin's allocator,
// stream it twice, query the position, disconnect, register and unregister,
// unload) once per
// allocation: the Nth allocation of a kind fails, for N = 1, 2, ... until
// the scenario no longer reaches N. Every run must end in a failed HRESULT
// at some step or in the complete, correct result, with every object gone.
// TESSALY_SWEEP_VERBOSE prints how each run ended.
#include <gtest/gtest.h>
#include <platform/Faults.h>
#include <platform/Registry.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "HardeningKit.h"
#include "com/CComHolder.h"
#include "com/CTrackedObject.h"
#include "splitter/SplitterIdentifiers.h"

using hardening::LoadedModule;
using hardening::StreamSink;
using platform::AllocationKind;

namespace {

const std::string kClassKey = "CLSID\\{6B1E4F20-D3A7-11D1-8C52-00A0C93B7E14}";
const std::string kFilmTypeKey =
    "Media Type\\{e436eb83-524f-11ce-9f53-0020af0ba770}\\{6B1E4F21-D3A7-11d1-8C53-00A0C93B7E14}";

bool KeyExists(const std::string& path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

const char* KindName(AllocationKind kind) {
  switch (kind) {
    case AllocationKind::TaskMemory:
      return "TaskMemory";
    case AllocationKind::CommittedPages:
      return "CommittedPages";
    case AllocationKind::HeapObject:
      return "HeapObject";
    default:
      return "?";
  }
}

// How one run of the scenario ended.
struct Outcome {
  std::string failedStep;  // empty when every step succeeded
  HRESULT failure = S_OK;
  std::vector<std::string> problems;  // wrong results, leaks, hangs: never allowed

  std::string Describe() const {
    std::string text = failedStep.empty() ? "completed" : "failed at " + failedStep;
    for (const std::string& problem : problems) {
      text += "\n  " + problem;
    }
    return text;
  }
};

// Everything the scenario holds, so that a run that stops early can still
// put every piece away in the order a host would.
class Scenario {
 public:
  Scenario(const std::u16string& filePath, const filmwriter::FilmExpectation& expect)
      : m_filePath(filePath), m_expect(expect) {}

  Outcome Run() {
    platform::UseMemoryRegistry();
    Main();
    CleanUp();
    return std::move(m_outcome);
  }

 private:
  bool Step(const char* name, HRESULT hr) {
    if (SUCCEEDED(hr)) {
      return true;
    }
    m_outcome.failedStep = name;
    m_outcome.failure = hr;
    return false;
  }

  void Problem(const std::string& text) { m_outcome.problems.push_back(text); }

  void Main() {
    if (!Step("LoadLibrary", m_module.Load())) return;
    CComHolder<IClassFactory> factory;
    if (!Step("DllGetClassObject", m_module.GetClassObject(CLSID_CpkSplitter, IID_IClassFactory,
                                                           factory.ReleaseAndGetVoidAddressOf()))) {
      return;
    }
    if (!Step("CreateInstance", factory->CreateInstance(nullptr, IID_IBaseFilter,
                                                        m_splitter.ReleaseAndGetVoidAddressOf()))) {
      return;
    }
    factory.Reset();
    if (!LoadSource() || !ConnectInput() || !UseInputAllocator() || !ConnectOutputs()) return;
    for (int pass = 0; pass < 2; ++pass) {
      if (!StreamToTheEnd(pass)) return;
    }
    if (!QueryDuration() || !Disconnect()) return;
    ReleaseGraph();
    RegisterAndUnregister();
  }

  bool LoadSource() {
    if (!Step("CoCreateInstance(AsyncReader)",
              CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               m_source.ReleaseAndGetVoidAddressOf()))) {
      return false;
    }
    CComHolder<IFileSourceFilter> file;
    if (!Step("QueryInterface(IFileSourceFilter)",
              m_source->QueryInterface(IID_IFileSourceFilter, file.ReleaseAndGetVoidAddressOf()))) {
      return false;
    }
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Stream;
    type.subtype = MEDIASUBTYPE_CpkFilm;
    return Step("Load", file->Load(m_filePath.c_str(), &type));
  }

  bool ConnectInput() {
    if (!Step("FindPin(Output)",
              m_source->FindPin(u"Output", m_sourcePin.ReleaseAndGetAddressOf())) ||
        !Step("FindPin(Input)",
              m_splitter->FindPin(WIDE("Input"), m_inputPin.ReleaseAndGetAddressOf()))) {
      return false;
    }
    return Step("Connect(Input)", m_sourcePin->Connect(m_inputPin.Get(), nullptr));
  }

  // The input pin hands out an allocator of its own, backed by committed
  // pages, to an upstream pin that asks for one; it is the module's only
  // user of page commits.
  bool UseInputAllocator() {
    CComHolder<IMemInputPin> input;
    CComHolder<IMemAllocator> allocator;
    if (!Step("QueryInterface(IMemInputPin)",
              m_inputPin->QueryInterface(IID_IMemInputPin, input.ReleaseAndGetVoidAddressOf())) ||
        !Step("GetAllocator", input->GetAllocator(allocator.ReleaseAndGetAddressOf()))) {
      return false;
    }
    ALLOCATOR_PROPERTIES request = {2, 4096, 1, 0};
    ALLOCATOR_PROPERTIES actual = {};
    if (!Step("SetProperties", allocator->SetProperties(&request, &actual)) ||
        !Step("Commit", allocator->Commit())) {
      return false;
    }
    CComHolder<IMediaSample> sample;
    const bool got = Step(
        "GetBuffer", allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0));
    BYTE* bytes = nullptr;
    if (got && SUCCEEDED(sample->GetPointer(&bytes)) && sample->GetSize() >= 4096) {
      bytes[0] = 1;
      bytes[4095] = 2;
    } else if (got) {
      Problem("the input pin's allocator gave a sample smaller than it promised");
    }
    sample.Reset();
    return Step("Decommit", allocator->Decommit()) && got;
  }

  bool ConnectOutput(const WCHAR* name, CComHolder<IPin>* pin, CComHolder<IBaseFilter>* sink) {
    if (!Step("FindPin(output)", m_splitter->FindPin(name, pin->ReleaseAndGetAddressOf()))) {
      return false;
    }
    HRESULT built = S_OK;
    StreamSink* filter = new StreamSink(&built, nullptr, 1);
    *sink = static_cast<IBaseFilter*>(filter);
    if (!Step("StreamSink", built)) {
      return false;
    }
    return Step("Connect(output)", (*pin)->Connect(static_cast<IPin*>(filter->Input()), nullptr));
  }

  bool ConnectOutputs() {
    return ConnectOutput(WIDE("Audio"), &m_audioPin, &m_audioSink) &&
           ConnectOutput(WIDE("Video"), &m_videoPin, &m_videoSink);
  }

  StreamSink* Sink(const CComHolder<IBaseFilter>& sink) {
    return static_cast<StreamSink*>(sink.Get());
  }

  // Downstream first, as the graph orders state changes.
  std::vector<IBaseFilter*> Filters() {
    std::vector<IBaseFilter*> filters;
    for (IBaseFilter* filter : {m_audioSink.Get(), m_videoSink.Get(), m_splitter.Get(),
                                static_cast<IBaseFilter*>(m_source.Get())}) {
      if (filter != nullptr) {
        filters.push_back(filter);
      }
    }
    return filters;
  }

  void StopAll() {
    for (IBaseFilter* filter : Filters()) {
      filter->Stop();
    }
  }

  bool StreamToTheEnd(int pass) {
    Sink(m_audioSink)->Input()->ClearRecords();
    Sink(m_videoSink)->Input()->ClearRecords();
    for (IBaseFilter* filter : Filters()) {
      if (!Step("Pause", filter->Pause())) return false;
    }
    for (IBaseFilter* filter : Filters()) {
      if (!Step("Run", filter->Run(0))) return false;
    }
    // A stream that never ends after a successful Run fails the wait,
    // which names the sink.
    for (StreamSink* sink : {Sink(m_audioSink), Sink(m_videoSink)}) {
      sink->Input()->WaitForEndOfStream();
    }
    const std::string audio =
        CheckDelivery(m_expect, filmwriter::Stream::Audio, Sink(m_audioSink)->Input()->Records(),
                      Delivered::Exactly);
    const std::string video =
        CheckDelivery(m_expect, filmwriter::Stream::Video, Sink(m_videoSink)->Input()->Records(),
                      Delivered::Exactly);
    for (const std::string& wrong : {audio, video}) {
      if (!wrong.empty()) {
        Problem("pass " + std::to_string(pass) + ": " + wrong);
      }
    }
    for (IBaseFilter* filter : Filters()) {
      if (!Step("Stop", filter->Stop())) return false;
    }
    return audio.empty() && video.empty();
  }

  bool QueryDuration() {
    CComHolder<IMediaPosition> position;
    if (!Step("QueryInterface(IMediaPosition)",
              m_splitter->QueryInterface(IID_IMediaPosition,
                                         position.ReleaseAndGetVoidAddressOf()))) {
      return false;
    }
    REFTIME duration = 0;
    if (!Step("get_Duration", position->get_Duration(&duration))) {
      return false;
    }
    const double expected =
        static_cast<double>(m_expect.videoTicks) / static_cast<double>(m_expect.timeBase);
    if (duration != expected) {
      Problem("duration " + std::to_string(duration) + ", expected " + std::to_string(expected));
    }
    return true;
  }

  bool Disconnect() {
    struct Link {
      IPin* output;
      IPin* input;
    };
    IPin* audioInput = static_cast<IPin*>(Sink(m_audioSink)->Input());
    IPin* videoInput = static_cast<IPin*>(Sink(m_videoSink)->Input());
    for (Link link : {Link{m_audioPin.Get(), audioInput}, Link{m_videoPin.Get(), videoInput},
                      Link{m_sourcePin.Get(), m_inputPin.Get()}}) {
      if (!Step("Disconnect(output)", link.output->Disconnect()) ||
          !Step("Disconnect(input)", link.input->Disconnect())) {
        return false;
      }
    }
    return true;
  }

  void ReleaseGraph() {
    m_audioPin.Reset();
    m_videoPin.Reset();
    m_inputPin.Reset();
    m_sourcePin.Reset();
    m_audioSink.Reset();
    m_videoSink.Reset();
    m_splitter.Reset();
    m_source.Reset();
  }

  void RegisterAndUnregister() {
    if (!Step("DllRegisterServer", m_module.RegisterServer())) return;
    if (!KeyExists(kClassKey) || !KeyExists(kFilmTypeKey)) {
      Problem("DllRegisterServer succeeded without writing the class and media type keys");
    }
    if (!Step("DllUnregisterServer", m_module.UnregisterServer())) return;
    if (KeyExists(kClassKey) || KeyExists(kFilmTypeKey)) {
      Problem("DllUnregisterServer succeeded but left the class or media type key");
    }
  }

  // Whatever a failed step left: stopped, disconnected and released the way
  // a host would, then the module must be unloadable.
  void CleanUp() {
    StopAll();
    for (IPin* pin : {m_audioPin.Get(), m_videoPin.Get(), m_inputPin.Get(), m_sourcePin.Get()}) {
      if (pin != nullptr) {
        pin->Disconnect();
      }
    }
    for (const CComHolder<IBaseFilter>* sink : {&m_audioSink, &m_videoSink}) {
      if (*sink) {
        static_cast<IPin*>(Sink(*sink)->Input())->Disconnect();
      }
    }
    ReleaseGraph();
    if (m_module.Loaded() && m_module.CanUnloadNow() != S_OK) {
      Problem("DllCanUnloadNow refuses: an object or lock of the module outlived the scenario");
    }
    m_module.Unload();
    platform::UseMemoryRegistry();
  }

  std::u16string m_filePath;
  filmwriter::FilmExpectation m_expect;
  Outcome m_outcome;
  LoadedModule m_module;
  CComHolder<IBaseFilter> m_splitter;
  CComHolder<IBaseFilter> m_source;
  CComHolder<IPin> m_sourcePin;
  CComHolder<IPin> m_inputPin;
  CComHolder<IPin> m_audioPin;
  CComHolder<IPin> m_videoPin;
  CComHolder<IBaseFilter> m_audioSink;
  CComHolder<IBaseFilter> m_videoSink;
};

class AllocationSweepTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    m_liveObjects = CTrackedObject::LiveObjectCount();
    // Small on purpose: the scenario runs once per allocation.
    filmwriter::FilmWriter writer = hardening::InterleavedMovie(3, 3, 300, 200);
    m_expect = writer.Expect();
    ASSERT_TRUE(m_expect.hasAudioOutput && m_expect.hasVideoOutput);
    m_path = std::filesystem::temp_directory_path() /
             ("tessaly-sweep-" + std::to_string(getpid()) + "-" +
              ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".film");
    ASSERT_TRUE(writer.WriteFile(m_path.string()));
  }

  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove(m_path, ignored);
    CoUninitialize();
  }

  Outcome RunOnce() {
    const std::string narrow = m_path.string();
    const std::u16string wide(narrow.begin(), narrow.end());
    Outcome outcome = Scenario(wide, m_expect).Run();
    const LONG live = CTrackedObject::LiveObjectCount();
    if (live != m_liveObjects) {
      outcome.problems.push_back(std::to_string(live - m_liveObjects) +
                                 " framework objects of the test's sinks still alive");
    }
    return outcome;
  }

  // Fails every allocation site of kind in turn; returns how many there are.
  int Sweep(AllocationKind kind) {
    hardening::Watchdog watchdog;
    int sites = 0;
    for (int64_t n = 1; n < 10000; ++n) {
      watchdog.Arm(std::string("the scenario with allocation ") + std::to_string(n) + " of " +
                   KindName(kind) + " failing");
      platform::FailNthAllocation(kind, n);
      Outcome outcome = RunOnce();
      const bool reached = platform::AllocationCount(kind) >= n;
      platform::ResetAllocationFaults();
      watchdog.Disarm();
      if (std::getenv("TESSALY_SWEEP_VERBOSE") != nullptr) {
        std::printf("[ sweep    ] %s %lld: %s\n", KindName(kind), static_cast<long long>(n),
                    outcome.Describe().c_str());
      }
      EXPECT_TRUE(outcome.problems.empty())
          << KindName(kind) << " allocation " << n << " failing: " << outcome.Describe();
      if (!reached) {
        EXPECT_TRUE(outcome.failedStep.empty())
            << "the scenario failed without a fault: " << outcome.Describe();
        break;
      }
      ++sites;
    }
    std::printf("[ sweep    ] %s: %d allocation sites\n", KindName(kind), sites);
    RecordProperty("allocation_sites", sites);
    return sites;
  }

  LONG m_liveObjects = 0;
  filmwriter::FilmExpectation m_expect;
  std::filesystem::path m_path;
};

TEST_F(AllocationSweepTest, ScenarioCompletesWithoutFaults) {
  Outcome outcome = RunOnce();
  EXPECT_TRUE(outcome.failedStep.empty() && outcome.problems.empty()) << outcome.Describe();
}

TEST_F(AllocationSweepTest, EveryFailedHeapObjectEndsCleanly) {
  EXPECT_GT(Sweep(AllocationKind::HeapObject), 0);
}

TEST_F(AllocationSweepTest, EveryFailedTaskMemoryAllocationEndsCleanly) {
  EXPECT_GT(Sweep(AllocationKind::TaskMemory), 0);
}

// The module commits pages only for its input pin's own allocator, which the
// scenario commits as an upstream pin that asks for it would.
TEST_F(AllocationSweepTest, EveryFailedPageCommitEndsCleanly) {
  EXPECT_GT(Sweep(AllocationKind::CommittedPages), 0);
}

}  // namespace
