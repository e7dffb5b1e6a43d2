#include "PlayerScenarios.h"

#include <evcode.h>

#include <algorithm>
#include <cstdio>

#include "CPlayerGraph.h"
#include "GraphInspection.h"
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

// The grabbed samples of one stream are the writer's payloads, in order.
void CheckPayloads(CTestReport* report, const std::vector<GrabbedSample>& grabbed,
                   const filmwriter::FilmExpectation& expect, filmwriter::Stream stream,
                   const std::string& countCheck, const std::string& bytesCheck) {
  std::vector<const filmwriter::ExpectedSample*> wanted;
  for (const filmwriter::ExpectedSample& sample : expect.samples) {
    if (sample.stream == stream) wanted.push_back(&sample);
  }
  report->Check(grabbed.size() == wanted.size(), countCheck,
                std::to_string(grabbed.size()) + " of " + std::to_string(wanted.size()));
  size_t first = 0;
  while (first < grabbed.size() && first < wanted.size() &&
         grabbed[first].bytes == wanted[first]->payload) {
    ++first;
  }
  report->Check(first == std::min(grabbed.size(), wanted.size()), bytesCheck,
                "sample " + std::to_string(first) + " differs");
}

void CheckAudio(CTestReport* report, const std::string& label, CPlayerGraph& graph,
                const filmwriter::FilmExpectation& expect) {
  CheckPayloads(report, graph.Audio()->Take(), expect, filmwriter::Stream::Audio,
                label + ": one audio sample a chunk",
                label + ": every audio sample is the converted chunk");
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

namespace {

constexpr REFERENCE_TIME kUnitsPerSecond = 10000000;

// The frame whose picture a decoded sample shows, or -1.
int PictureIndex(const CPlayerGraph& graph, const GrabbedSample& sample,
                 const filmwriter::FilmFormat& format, int frames) {
  for (int n = 0; n < frames; ++n) {
    const filmwriter::CinepakKeyFrame frame = filmwriter::CinepakKeyFrame::GreyPattern(
        format.width, format.height, static_cast<uint32_t>(n));
    if (PictureMismatch(graph, sample, frame).empty()) return n;
  }
  return -1;
}

// The audio chunk (counting audio rows only) whose converted bytes a sample holds, or -1.
int ChunkIndex(const GrabbedSample& sample, const filmwriter::FilmExpectation& expect) {
  int n = 0;
  for (const filmwriter::ExpectedSample& wanted : expect.samples) {
    if (wanted.stream != filmwriter::Stream::Audio) continue;
    if (wanted.payload == sample.bytes) return n;
    ++n;
  }
  return -1;
}

std::string IndexText(const std::vector<int>& indices) {
  std::string text;
  for (int index : indices) text += (text.empty() ? "" : " ") + std::to_string(index);
  return "[" + text + "]";
}

std::vector<int> Span(int first, int last) {
  std::vector<int> run;
  for (int n = first; n <= last; ++n) run.push_back(n);
  return run;
}

// True when indices are some samples continuing the old position (each
// after `oldFrom`, in order), then exactly `fresh`.
bool OldThenFresh(const std::vector<int>& indices, int oldFrom, const std::vector<int>& fresh) {
  if (indices.size() < fresh.size()) return false;
  const size_t split = indices.size() - fresh.size();
  if (!std::equal(fresh.begin(), fresh.end(), indices.begin() + split)) return false;
  int expected = oldFrom + 1;
  for (size_t i = 0; i < split; ++i, ++expected) {
    if (indices[i] != expected) return false;
  }
  return true;
}

// A target half way into `frame`, on the running times the splitter gives.
REFERENCE_TIME Inside(const filmwriter::FilmExpectation& expect, int frame) {
  for (const filmwriter::ExpectedSample& sample : expect.samples) {
    if (sample.stream == filmwriter::Stream::Video && frame-- == 0) {
      return sample.start + (sample.stop - sample.start) / 2;
    }
  }
  return 0;
}

HRESULT SeekTo(IMediaSeeking* seeking, REFERENCE_TIME target) {
  LONGLONG current = target;
  return seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                               AM_SEEKING_NoPositioning);
}

bool PauseCompletes(CPlayerGraph& graph) {
  graph.Control()->Pause();
  OAFilterState state = State_Stopped;
  return graph.Control()->GetState(kNoTimeLimit, &state) == S_OK && state == State_Paused;
}

std::vector<int> Pictures(CPlayerGraph& graph, const std::vector<GrabbedSample>& samples,
                          const filmwriter::FilmFormat& format, int frames) {
  std::vector<int> indices;
  for (const GrabbedSample& sample : samples) {
    indices.push_back(PictureIndex(graph, sample, format, frames));
  }
  return indices;
}

std::vector<int> Chunks(const std::vector<GrabbedSample>& samples,
                        const filmwriter::FilmExpectation& expect) {
  std::vector<int> indices;
  for (const GrabbedSample& sample : samples) indices.push_back(ChunkIndex(sample, expect));
  return indices;
}

// Seeks from stopped into the middle of a frame between key frames, then plays.
void SeekWhileStopped(CTestReport* report, const std::string& label, CPlayerGraph& graph,
                      IMediaSeeking* seeking, const filmwriter::FilmFormat& format,
                      const filmwriter::FilmExpectation& expect) {
  const int frames = static_cast<int>(expect.videoChunkCount);
  const int target = 6;
  // The runtime's decompressor passes the pictures from the key frame on,
  // preroll ones too; ours decodes those and shows only from the target.
  const int key = GraphHolds(graph.Graph(), kTessalyCinepakDecoder)
                      ? target
                      : target - target % kSeekingKeyEvery;
  HRESULT hr = SeekTo(seeking, Inside(expect, target));
  report->Check(hr == S_OK, label + ": SetPositions while stopped", HexResult(hr));
  report->Check(PauseCompletes(graph), label + ": Pause after the seek completes");
  hr = graph.Control()->Run();
  LONG code = 0;
  hr = graph.Events()->WaitForCompletion(kNoTimeLimit, &code);
  report->Check(hr == S_OK && code == EC_COMPLETE, label + ": the seek plays to EC_COMPLETE",
                HexResult(hr) + ", event " + std::to_string(code));
  graph.Control()->Stop();
  const std::vector<GrabbedSample> pictures = graph.Video()->Take();
  const std::vector<int> shown = Pictures(graph, pictures, format, frames);
  report->Check(shown == Span(key, frames - 1),
                label +
                    ": decodes from the key frame before the target (or the target, through our "
                    "decoder) to the end",
                "pictures " + IndexText(shown) + ", wanted " + IndexText(Span(key, frames - 1)));
  size_t preroll = 0;
  for (const GrabbedSample& picture : pictures) preroll += picture.preroll ? 1 : 0;
  report->Note(label + ": " + std::to_string(preroll) +
               " decoded pictures carried the preroll flag");
  const std::vector<int> heard = Chunks(graph.Audio()->Take(), expect);
  report->Check(heard == Span(target, frames - 1),
                label + ": audio starts with the chunk that holds the target",
                "chunks " + IndexText(heard) + ", wanted " + IndexText(Span(target, frames - 1)));
}

// Seeks while paused (Pause completes again with the new picture), runs, and
// seeks again while running: after the flush only the new place plays.
void SeekWhilePausedThenRunning(CTestReport* report, const std::string& label, CPlayerGraph& graph,
                                IMediaSeeking* seeking, const filmwriter::FilmFormat& format,
                                const filmwriter::FilmExpectation& expect) {
  const int frames = static_cast<int>(expect.videoChunkCount);
  if (!report->Check(PauseCompletes(graph), label + ": Pause before the paused seek completes")) {
    return;
  }
  graph.Video()->Take();
  graph.Audio()->Take();
  const int pausedAt = 9;
  // The first picture after the flush: the key frame through the runtime's
  // decompressor, the target itself through ours.
  const int pausedKey = GraphHolds(graph.Graph(), kTessalyCinepakDecoder)
                            ? pausedAt
                            : pausedAt - pausedAt % kSeekingKeyEvery;
  HRESULT hr = SeekTo(seeking, Inside(expect, pausedAt));
  if (!report->Check(hr == S_OK, label + ": SetPositions while paused", HexResult(hr))) return;
  OAFilterState state = State_Stopped;
  hr = graph.Control()->GetState(kNoTimeLimit, &state);
  report->Check(hr == S_OK && state == State_Paused, label + ": Pause completes after the seek",
                HexResult(hr));
  // The runtime's renderers count as cued from before the flush, so the
  // first samples of the new place are awaited here; its video renderer holds
  // the first picture it gets, the key frame, preroll or not.
  while (graph.Video()->Count() == 0 || graph.Audio()->Count() == 0) Sleep(10);
  const std::vector<GrabbedSample> pictures = graph.Video()->Take();
  const std::vector<int> held = Pictures(graph, pictures, format, frames);
  report->Check(!held.empty() && held.front() == pausedKey && OldThenFresh(held, pausedKey - 1, {}),
                label +
                    ": after the paused seek the key frame before the target (or the target, "
                    "through our decoder) comes first",
                "pictures " + IndexText(held));
  report->Note(label + ": the paused video renderer holds a picture " +
               (pictures.front().preroll ? "with" : "without") + " the preroll flag");
  const std::vector<int> heldAudio = Chunks(graph.Audio()->Take(), expect);
  report->Check(heldAudio == std::vector<int>{pausedAt},
                label + ": the paused graph holds the audio chunk at the new place",
                "chunks " + IndexText(heldAudio));

  hr = graph.Control()->Run();
  report->Check(SUCCEEDED(hr), label + ": Run after the paused seek", HexResult(hr));
  const int runningAt = 1;
  // The first picture of the new place: the key frame (frame 0) through the
  // runtime's decompressor, the target through ours.
  const int runningFirst = GraphHolds(graph.Graph(), kTessalyCinepakDecoder) ? runningAt : 0;
  hr = SeekTo(seeking, Inside(expect, runningAt));
  if (!report->Check(hr == S_OK, label + ": SetPositions while running", HexResult(hr))) return;
  // Until the new place has played to its last frame and chunk, however slowly.
  std::vector<int> shown;
  std::vector<int> heard;
  for (;;) {
    shown = Pictures(graph, graph.Video()->Peek(), format, frames);
    heard = Chunks(graph.Audio()->Peek(), expect);
    const bool pictureDone = std::find(shown.begin(), shown.end(), runningFirst) != shown.end() &&
                             !shown.empty() && shown.back() == frames - 1;
    const bool audioDone = std::find(heard.begin(), heard.end(), runningAt) != heard.end() &&
                           !heard.empty() && heard.back() == frames - 1;
    if (pictureDone && audioDone) break;
    Sleep(10);
  }
  graph.Control()->Stop();
  // The frames after the held key frame may have played before the seek.
  report->Check(OldThenFresh(shown, pausedKey, Span(runningFirst, frames - 1)),
                label + ": after the running seek's flush only the new place is decoded",
                "pictures " + IndexText(shown));
  report->Check(OldThenFresh(heard, pausedAt, Span(runningAt, frames - 1)),
                label + ": after the running seek's flush only the new place is heard",
                "chunks " + IndexText(heard));
}

}  // namespace

void SeekInPlayerGraph(CTestReport* report, FilmShape& shape, const std::wstring& path) {
  const filmwriter::FilmExpectation expect = shape.writer.Expect();
  const std::string& label = shape.name;
  CPlayerGraph graph(report, label);
  if (!graph.Build(path, expect.hasAudioOutput)) {
    return;
  }
  CComRef<IMediaSeeking> seeking;
  CComRef<IMediaPosition> position;
  HRESULT hr = graph.Graph()->QueryInterface(IID_IMediaSeeking, seeking.OutVoid());
  if (SUCCEEDED(hr)) hr = graph.Graph()->QueryInterface(IID_IMediaPosition, position.OutVoid());
  if (!report->Check(SUCCEEDED(hr), label + ": the graph offers seeking", HexResult(hr))) {
    graph.Release();
    return;
  }
  const LONGLONG length =
      static_cast<LONGLONG>(expect.videoTicks) * kUnitsPerSecond / expect.timeBase;
  LONGLONG duration = 0;
  hr = seeking->GetDuration(&duration);
  report->Check(hr == S_OK && duration == length,
                label + ": the graph's GetDuration is the movie's length",
                HexResult(hr) + ", " + std::to_string(duration) + " for " + std::to_string(length));
  REFTIME seconds = 0;
  hr = position->get_Duration(&seconds);
  report->Check(
      hr == S_OK && seconds > 0 && static_cast<LONGLONG>(seconds * kUnitsPerSecond + 0.5) == length,
      label + ": the graph's get_Duration is the movie's length",
      HexResult(hr) + ", " + std::to_string(seconds) + " s");
  const filmwriter::FilmFormat& format = shape.writer.Format();
  SeekWhileStopped(report, label, graph, seeking.Get(), format, expect);
  SeekWhilePausedThenRunning(report, label, graph, seeking.Get(), format, expect);
  position.Reset();
  seeking.Reset();
  graph.Release();
}

namespace {

constexpr int kSoakCommands = 1000;

// A fixed sequence of pseudo-random numbers, the same on every run.
class CSoakRandom {
 public:
  explicit CSoakRandom(uint32_t seed) : m_state(seed) {}
  int UpTo(int most) {
    m_state = m_state * 1664525u + 1013904223u;
    return static_cast<int>((m_state >> 8) % static_cast<uint32_t>(most + 1));
  }

 private:
  uint32_t m_state;
};

void DropQueuedEvents(IMediaEvent* events) {
  LONG code = 0;
  LONG_PTR first = 0;
  LONG_PTR second = 0;
  while (events->GetEvent(&code, &first, &second, 0) == S_OK) {
    events->FreeEventParams(code, first, second);
  }
}

// The frames the grabber took straight from the splitter are the file's,
// byte for byte: the ones the decompressor would decode.
void CheckFrames(CTestReport* report, const std::string& label, CPlayerGraph& graph,
                 const filmwriter::FilmExpectation& expect) {
  CheckPayloads(report, graph.Video()->Take(), expect, filmwriter::Stream::Video,
                label + ": one sample a frame",
                label + ": every frame is the file's, byte for byte");
}

}  // namespace

void SoakInPlayerGraph(CTestReport* report, FilmShape& shape, const std::wstring& path,
                       SoakGraph kind) {
  const filmwriter::FilmExpectation expect = shape.writer.Expect();
  const bool decoded = kind == SoakGraph::DecodedWithoutStop;
  const std::string label = shape.name + (decoded ? ", soak through the decompressor" : ", soak");
  CPlayerGraph graph(report, label);
  if (!graph.Build(
          path, expect.hasAudioOutput,
          decoded ? CPlayerGraph::VideoPath::Decoded : CPlayerGraph::VideoPath::Compressed)) {
    return;
  }
  CComRef<IMediaSeeking> seeking;
  CComRef<IMediaPosition> position;
  HRESULT hr = graph.Graph()->QueryInterface(IID_IMediaSeeking, seeking.OutVoid());
  if (SUCCEEDED(hr)) hr = graph.Graph()->QueryInterface(IID_IMediaPosition, position.OutVoid());
  if (!report->Check(SUCCEEDED(hr), label + ": the graph offers seeking", HexResult(hr))) {
    graph.Release();
    return;
  }
  const REFERENCE_TIME length = MovieLength(expect);
  CSoakRandom random(24);
  static const char* const kNames[] = {
      "Run", "Pause", "Stop", "SetPositions", "put_CurrentPosition", "GetCurrentPosition"};
  OAFilterState state = State_Stopped;
  std::string failed;
  std::string unreached;
  // Wine 8's AVI Decompressor corrupts its heap when a Stop reaches it while
  // it decodes a frame; through it, the player only pauses. Through our
  // decoder the player stops too.
  const bool pauseForStop = decoded && !GraphHolds(graph.Graph(), kTessalyCinepakDecoder);
  for (int step = 0; step < kSoakCommands; ++step) {
    int command = random.UpTo(5);
    if (pauseForStop && command == 2) command = 1;
    const REFERENCE_TIME target = length * random.UpTo(16) / 16;
    OAFilterState wanted = state;
    switch (command) {
      case 0:
        hr = graph.Control()->Run();
        wanted = State_Running;
        break;
      case 1:
        hr = graph.Control()->Pause();
        wanted = State_Paused;
        break;
      case 2:
        hr = graph.Control()->Stop();
        wanted = State_Stopped;
        break;
      case 3:
        hr = SeekTo(seeking.Get(), target);
        break;
      case 4:
        hr = position->put_CurrentPosition(static_cast<double>(target) / kUnitsPerSecond);
        break;
      default: {
        LONGLONG current = 0;
        hr = seeking->GetCurrentPosition(&current);
        break;
      }
    }
    const std::string where = "command " + std::to_string(step) + " (" + kNames[command] + ")";
    if (FAILED(hr) && failed.empty()) failed = where + ": " + HexResult(hr);
    OAFilterState reached = -1;
    hr = graph.Control()->GetState(kNoTimeLimit, &reached);
    if ((hr != S_OK || reached != wanted) && unreached.empty()) {
      unreached = where + ": GetState " + HexResult(hr) + ", state " + std::to_string(reached);
    }
    state = reached;
    // The grabbers keep every sample; what the soak plays is not looked at.
    if (step % 50 == 0) {
      graph.Video()->Take();
      graph.Audio()->Take();
    }
  }
  report->Check(failed.empty(),
                label + ": " + std::to_string(kSoakCommands) + " random commands all succeed",
                failed);
  report->Check(unreached.empty(), label + ": every state is reached", unreached);

  // The last run, from the start, plays every frame and chunk. The Stop
  // before it comes once every stream has ended at a stop set at the start,
  // so that it finds no frame being decoded.
  LONGLONG from = 0;
  LONGLONG to = 0;
  seeking->SetPositions(&from, AM_SEEKING_AbsolutePositioning, &to, AM_SEEKING_AbsolutePositioning);
  PauseCompletes(graph);
  graph.Control()->Stop();
  graph.Video()->Take();
  graph.Audio()->Take();
  DropQueuedEvents(graph.Events());
  to = length;
  hr = seeking->SetPositions(&from, AM_SEEKING_AbsolutePositioning, &to,
                             AM_SEEKING_AbsolutePositioning);
  report->Check(hr == S_OK, label + ": the last seek", HexResult(hr));
  report->Check(PauseCompletes(graph), label + ": Pause after the soak completes");
  hr = graph.Control()->Run();
  report->Check(SUCCEEDED(hr), label + ": the last Run", HexResult(hr));
  // Found here: once a run of a graph has completed, the runtime's graph
  // (Wine 8) reports EC_COMPLETE at once on every later run, while the
  // samples still flow; so the pictures themselves are awaited.
  LONG code = 0;
  hr = graph.Events()->WaitForCompletion(kNoTimeLimit, &code);
  report->Note(label + ": the last run's WaitForCompletion answered " + HexResult(hr) + ", event " +
               std::to_string(code) + ", with " + std::to_string(graph.Video()->Count()) + " of " +
               std::to_string(expect.videoChunkCount) + " pictures in");
  const size_t chunks = static_cast<size_t>(std::count_if(
      expect.samples.begin(), expect.samples.end(), [](const filmwriter::ExpectedSample& sample) {
        return sample.stream == filmwriter::Stream::Audio;
      }));
  while (graph.Video()->Count() < expect.videoChunkCount || graph.Audio()->Count() < chunks) {
    Sleep(10);
  }
  graph.Control()->Stop();
  if (decoded) {
    CheckPictures(report, label + ", last run", graph, shape.writer.Format(), expect);
  } else {
    CheckFrames(report, label + ", last run", graph, expect);
  }
  CheckAudio(report, label + ", last run", graph, expect);
  position.Reset();
  seeking.Reset();
  graph.Release();
}
