#include "PlayerScenarios.h"

#include <evcode.h>

#include <algorithm>
#include <cstdio>

#include "CPlayerGraph.h"
#include "filmwriter/CinepakKeyFrame.h"

namespace {

// Waits have no time limit: a shared machine may be slow, and a hang is
// ended (and reported) by the script's step timeout.
constexpr LONG kNoTimeLimit = static_cast<LONG>(INFINITE);

std::string Seconds(REFERENCE_TIME time) {
  char text[32];
  std::snprintf(text, sizeof(text), "%.3f s", static_cast<double>(time) / 10000000.0);
  return text;
}

REFERENCE_TIME MovieLength(const filmwriter::FilmExpectation& expect) {
  REFERENCE_TIME length = 0;
  for (const filmwriter::ExpectedSample& sample : expect.samples) {
    length = std::max<REFERENCE_TIME>(length, sample.stop);
  }
  return length;
}

// The first pixel where the decoded RGB24 picture differs from the grey one
// the frame encodes; empty when every pixel matches.
std::string PictureMismatch(const CPlayerGraph& graph, const GrabbedSample& sample,
                            const filmwriter::CinepakKeyFrame& frame) {
  const LONG width = graph.Width();
  const LONG height = graph.Height();
  if (width != static_cast<LONG>(frame.Width()) || height != static_cast<LONG>(frame.Height())) {
    return "picture is " + std::to_string(width) + "x" + std::to_string(height);
  }
  const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~static_cast<size_t>(3);
  if (sample.bytes.size() < stride * height) {
    return "only " + std::to_string(sample.bytes.size()) + " bytes";
  }
  const std::vector<uint8_t> luma = frame.DecodedLuma();
  for (LONG row = 0; row < height; ++row) {
    const LONG y = graph.BottomUp() ? height - 1 - row : row;
    const uint8_t* line = sample.bytes.data() + stride * row;
    for (LONG x = 0; x < width; ++x) {
      const uint8_t want = luma[static_cast<size_t>(y) * width + x];
      const uint8_t* pixel = line + 3 * x;
      if (pixel[0] != want || pixel[1] != want || pixel[2] != want) {
        return "pixel (" + std::to_string(x) + "," + std::to_string(y) + ") is " +
               std::to_string(pixel[2]) + "/" + std::to_string(pixel[1]) + "/" +
               std::to_string(pixel[0]) + ", not grey " + std::to_string(want);
      }
    }
  }
  return std::string();
}

void CheckPictures(CTestReport* report, const std::string& label, CPlayerGraph& graph,
                   const filmwriter::FilmFormat& format,
                   const filmwriter::FilmExpectation& expect) {
  const std::vector<GrabbedSample> pictures = graph.Video()->Take();
  const size_t frames = expect.videoChunkCount;
  report->Check(pictures.size() == frames,
                label + ": the decompressor delivered one picture a frame",
                std::to_string(pictures.size()) + " of " + std::to_string(frames));
  std::string mismatch;
  size_t at = 0;
  for (; at < pictures.size() && at < frames && mismatch.empty(); ++at) {
    mismatch = PictureMismatch(graph, pictures[at],
                               filmwriter::CinepakKeyFrame::GreyPattern(format.width, format.height,
                                                                        static_cast<uint32_t>(at)));
  }
  report->Check(mismatch.empty(), label + ": every decoded picture is the one its frame encodes",
                "picture " + std::to_string(at - 1) + ": " + mismatch);
}

void CheckAudio(CTestReport* report, const std::string& label, CPlayerGraph& graph,
                const filmwriter::FilmExpectation& expect) {
  const std::vector<GrabbedSample> grabbed = graph.Audio()->Take();
  std::vector<const filmwriter::ExpectedSample*> wanted;
  for (const filmwriter::ExpectedSample& sample : expect.samples) {
    if (sample.stream == filmwriter::Stream::Audio) wanted.push_back(&sample);
  }
  report->Check(grabbed.size() == wanted.size(), label + ": one audio sample a chunk",
                std::to_string(grabbed.size()) + " of " + std::to_string(wanted.size()));
  size_t first = 0;
  while (first < grabbed.size() && first < wanted.size() &&
         grabbed[first].bytes == wanted[first]->payload) {
    ++first;
  }
  const bool same = first == std::min(grabbed.size(), wanted.size());
  report->Check(same, label + ": every audio sample is the converted chunk",
                "sample " + std::to_string(first) + " differs");
}

}  // namespace

void PlayInPlayerGraph(CTestReport* report, FilmShape& shape, const std::wstring& path) {
  const filmwriter::FilmExpectation expect = shape.writer.Expect();
  const std::string& label = shape.name;
  CPlayerGraph graph(report, label);
  if (!graph.Build(path, expect.hasAudioOutput)) {
    return;
  }

  const DWORD pauseStarted = GetTickCount();
  HRESULT hr = graph.Control()->Pause();
  OAFilterState state = State_Stopped;
  HRESULT paused = graph.Control()->GetState(kNoTimeLimit, &state);
  const DWORD pauseTook = GetTickCount() - pauseStarted;
  const bool completed = paused == S_OK && state == State_Paused;
  report->Check(completed, label + ": Pause completes",
                "Pause " + HexResult(hr) + ", GetState " + HexResult(paused) + ", " +
                    std::to_string(graph.Video()->Count()) + " pictures, " +
                    std::to_string(graph.Audio()->Count()) + " audio samples");
  report->Check(graph.Video()->Count() >= 1, label + ": the paused graph holds the first picture");
  if (expect.hasAudioOutput) {
    report->Check(graph.Audio()->Count() >= 1,
                  label + ": the paused graph holds the first audio sample");
  }
  if (!completed) {
    graph.Release();
    return;
  }
  report->Note(label + ": Pause completed in " + std::to_string(pauseTook) + " ms");

  const REFERENCE_TIME length = MovieLength(expect);
  const REFERENCE_TIME before = graph.ClockTime();
  hr = graph.Control()->Run();
  report->Check(SUCCEEDED(hr), label + ": Run", HexResult(hr));
  LONG code = 0;
  hr = graph.Events()->WaitForCompletion(kNoTimeLimit, &code);
  const REFERENCE_TIME after = graph.ClockTime();
  report->Check(hr == S_OK && code == EC_COMPLETE, label + ": Run reaches EC_COMPLETE",
                HexResult(hr) + ", event " + std::to_string(code));
  if (before >= 0 && after >= 0) {
    report->Note(label + ": played in " + Seconds(after - before) +
                 " on the graph's clock; the movie lasts " + Seconds(length));
  }
  graph.Control()->Stop();
  CheckPictures(report, label, graph, shape.writer.Format(), expect);
  if (expect.hasAudioOutput) {
    CheckAudio(report, label, graph, expect);
  }
  graph.Release();
}
