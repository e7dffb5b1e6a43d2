// The module in a player's graph on the platform: the graph renders the file
// into renderers that hold the first sample while paused. Pause must complete
// with both streams however their rows interleave; Stop must return while
// both renderers hold; Run must play every row to EC_COMPLETE.
#include <platform/GraphBuilding.h>
#include <platform/Rendering.h>

#include <unistd.h>

#include <cstdio>
#include <string>

#include "ModuleTestSupport.h"
#include "filmwriter/FilmWriter.h"
#include "support/RecordingRenderObserver.h"

namespace moduletest {
namespace {

constexpr LONG kPatienceMs = 60000;

// audioFirst: 300 audio rows before the first video row; else the reverse.
std::string WriteStarvingMovie(bool audioFirst) {
  filmwriter::FilmFormat format;
  format.channels = 1;
  format.bitsPerSample = 8;
  format.sampleRate = 44100;
  format.timeBase = 60000;  // short real-time runs
  filmwriter::FilmWriter writer(format);
  for (int block = 0; block < 2; ++block) {
    const bool audio = (block == 0) == audioFirst;
    for (int row = 0; row < 300; ++row) {
      if (audio) {
        writer.AddAudio(std::vector<uint8_t>(10, static_cast<uint8_t>(row)));
      } else {
        writer.AddVideo(std::vector<uint8_t>(40, static_cast<uint8_t>(row)), 1);
      }
    }
  }
  const std::string path = "/tmp/tessaly-player-graph-" + std::to_string(getpid()) +
                           (audioFirst ? "-audio-first" : "-video-first") + ".film";
  EXPECT_TRUE(writer.WriteFile(path));
  return path;
}

class PlayerGraphTest : public LoadedModuleTest, public ::testing::WithParamInterface<bool> {};

TEST_P(PlayerGraphTest, PauseCompletesWithBothStreamsAndRunPlaysEveryRow) {
  ASSERT_EQ(registerServer_(), S_OK);
  const std::string path = WriteStarvingMovie(GetParam());
  RecordingRenderObserver observer;
  {
    CComHolder<IGraphBuilder> graph;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, graph.ReleaseAndGetVoidAddressOf()));
    auto make = [&observer](IPin*, const AM_MEDIA_TYPE* type, IBaseFilter** sink) -> HRESULT {
      if (type == nullptr || IsEqualGUID(type->majortype, MEDIATYPE_Stream)) return S_FALSE;
      return platform::CreateRenderer(&observer, sink);
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
    ASSERT_EQ(2u, rendering->SinkCount());
    CComHolder<IMediaControl> control;
    CComHolder<IMediaEvent> events;
    graph->QueryInterface(IID_IMediaControl, control.ReleaseAndGetVoidAddressOf());
    graph->QueryInterface(IID_IMediaEvent, events.ReleaseAndGetVoidAddressOf());

    for (int cycle = 0; cycle < 4; ++cycle) {
      SCOPED_TRACE("cycle " + std::to_string(cycle));
      control->Pause();
      OAFilterState state = -1;
      // Bounded, so that a stream starved by the other fails instead of hanging.
      ASSERT_EQ(S_OK, control->GetState(kPatienceMs, &state));
      EXPECT_EQ(State_Paused, state);
      if (cycle % 2 == 0) {
        // Both renderers hold a sample, so both workers are blocked downstream.
        EXPECT_EQ(S_OK, control->Stop());
        EXPECT_EQ(0, observer.presented.load());
        continue;
      }
      observer.presented = 0;
      EXPECT_TRUE(SUCCEEDED(control->Run()));
      LONG code = 0;
      EXPECT_EQ(S_OK, events->WaitForCompletion(kPatienceMs, &code));
      EXPECT_EQ(EC_COMPLETE, code);
      EXPECT_EQ(600, observer.presented.load());
      EXPECT_EQ(S_OK, control->Stop());
      observer.presented = 0;
    }
    rendering->SetRenderSinkFactory(nullptr);
  }
  EXPECT_EQ(0u, observer.refs.load());
  std::remove(path.c_str());
  EXPECT_EQ(unregisterServer_(), S_OK);
}

INSTANTIATE_TEST_SUITE_P(RowMixes, PlayerGraphTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "AudioFirst" : "VideoFirst";
                         });

}  // namespace
}  // namespace moduletest
