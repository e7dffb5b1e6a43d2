#include "GraphCheck.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "DecodedVideoCheck.h"
#include "ExpectationCheck.h"
#include "WrittenFilm.h"
#include "support/PrefixlessAllocator.h"
#include "support/TypeAttachingAllocator.h"

#include "Platform.h"
#include "com/CComHolder.h"
#include "com/CTrackedObject.h"
#include "film/CBigEndianReader.h"
#include "film/CFilmSampleTable.h"
#include "film/FilmLayout.h"
#include "filter/CCinepakDecoderFilter.h"
#include "filter/DecoderIdentifiers.h"
#include "splitter/CCpkSplitterFilter.h"
#include "splitter/SplitterIdentifiers.h"
#include "support/MemoryAsyncSource.h"
#include "support/RecordingSinkFilter.h"

namespace fuzzcheck {
namespace {

constexpr DWORD kVideoSampleBuffer = 262144;

struct Branch {
  const WCHAR* pinName;
  bool refuse;
  DWORD payloadLimit;
  RecordingSinkFilter* sink = nullptr;  // borrowed from m_sinks
};

class GraphRun {
 public:
  GraphRun(const uint8_t* data, size_t size)
      : m_control(GraphControl::Decode(data, size)),
        m_file(data + std::min(size, GraphControl::kLength), data + size) {
    if (!m_control.written) return;
    const filmwriter::FilmWriter writer = WriteFilmFromRecipe(m_file.data(), m_file.size());
    m_file = writer.Build();
    m_expect = writer.Expect();
  }
  GraphRun(const GraphControl& control, std::vector<uint8_t> file)
      : m_control(control), m_file(std::move(file)) {}

  // What each branch received, in branch order.
  using Deliveries = std::vector<std::vector<ReceivedSample>>;

  std::string Run(Deliveries* delivered = nullptr) {
    LONG liveObjects = CTrackedObject::LiveObjectCount();
    LONG liveSources = MemoryAsyncSource::LiveCount();
    if (FAILED(CoInitialize(nullptr))) return "the apartment could not be entered";
    m_whole = m_file;
    const std::vector<uint8_t>& whole = m_whole;
    if (m_control.lengthChange != kShrinks) {
      m_file.resize(m_file.size() - std::min<size_t>(m_file.size(), m_control.cutBytes));
    }
    Stream();
    Deliveries received;
    for (const Branch& branch : m_branches) {
      received.push_back(branch.sink ? branch.sink->Input()->Received()
                                     : std::vector<ReceivedSample>());
    }
    TearDown();
    CoUninitialize();
    if (m_failure.empty() && CTrackedObject::LiveObjectCount() != liveObjects) {
      m_failure = "module objects outlived the graph";
    }
    if (m_failure.empty() && MemoryAsyncSource::LiveCount() != liveSources) {
      m_failure = "the source outlived the graph";
    }
    if (m_failure.empty() && m_control.cutBytes != 0 && Undisturbed() &&
        m_control.lengthChange == 0 && ChunksInFileOrder(whole)) {
      CheckStartOfWhole(whole, received);
    }
    if (m_failure.empty() && m_expect && m_expect->parses && m_expect->unpredictedRows.empty()) {
      CheckAgainstWriter(whole, received);
    }
    if (m_failure.empty() && m_throughDecoder && Undisturbed() && m_control.cutBytes == 0 &&
        m_control.lengthChange == 0) {
      CheckPicturesAgainstFrames(whole, received);
    }
    if (delivered != nullptr) *delivered = std::move(received);
    return m_failure;
  }

 private:
  void Fail(const std::string& what) {
    if (m_failure.empty()) m_failure = what;
  }

  // Only a file whose rows walk forward through it loses a suffix of each
  // stream when its end is cut off: a row pointing back is still there.
  static bool ChunksInFileOrder(const std::vector<uint8_t>& file) {
    const uint32_t size = static_cast<uint32_t>(std::min<size_t>(file.size(), UINT32_MAX));
    if (size < film::kShortestFile) return true;
    const uint32_t dataOffset = CBigEndianReader(file.data(), size).U32(film::kHeaderDataOffset);
    const uint32_t region = dataOffset > film::kHeaderLength ? dataOffset - film::kHeaderLength : 0;
    const CFilmSampleTable table(file.data() + film::kHeaderLength,
                                 std::min(size - film::kHeaderLength, region), region);
    uint64_t end = 0;
    for (uint32_t index = 0; index < table.StreamedRows(); ++index) {
      const FilmSampleEntry row = table.Row(index);
      const uint64_t start = film::ChunkPosition(dataOffset, row.chunkOffset);
      if (start < end) return false;
      end = start + row.chunkLength;
    }
    return true;
  }

  // Every delivered sample is one the writer predicts for the whole file,
  // in order; a sample after a lost or shortened one says so; and when
  // nothing disturbed the run, every predicted sample arrives as predicted.
  void CheckAgainstWriter(const std::vector<uint8_t>& whole, const Deliveries& received) {
    ExpectationRules rules;
    rules.shortened = m_control.cutBytes != 0 || m_control.disturbance % 4 != 0 ||
                      m_control.lengthChange != 0 || m_control.pastEndFails;
    rules.exact = !rules.shortened && Undisturbed();
    rules.replay = m_control.replay;
    const BYTE channels = whole[film::kHeaderChannels];
    const BYTE bits = whole[film::kHeaderBitsPerSample];
    rules.planarAudio = channels == 2 && bits != 8 && bits != 16;
    const filmwriter::Stream streams[] = {filmwriter::Stream::Audio, filmwriter::Stream::Video};
    for (size_t b = 0; b < received.size() && b < 2; ++b) {
      // Pictures are no bytes of the file; CheckPicturesAgainstFrames has them.
      if (m_branches[b].sink == nullptr || (b == 1 && m_throughDecoder)) continue;
      const std::string failure = CompareWithWriter(*m_expect, streams[b], received[b], rules);
      if (!failure.empty()) return Fail(std::string(b == 0 ? "Audio" : "Video") + ", " + failure);
    }
  }

  bool Undisturbed() const {
    return m_control.stopAfter == 0 && !m_control.replay && m_control.disturbance % 4 == 0 &&
           !m_control.refuseAudio && !m_control.refuseVideo;
  }

  // Plays the whole file the same way and checks that every branch got the
  // start of the whole file's samples, the last one of audio possibly cut
  // short to whole frames.
  void CheckStartOfWhole(const std::vector<uint8_t>& whole, const Deliveries& cut) {
    GraphControl control = m_control;
    control.cutBytes = 0;
    Deliveries full;
    const std::string failure = GraphRun(control, whole).Run(&full);
    if (!failure.empty()) return Fail("the whole file: " + failure);
    // Stereo that goes out unconverted stays planar, so a cut chunk's two
    // shortened halves are no prefix of the whole chunk.
    const BYTE channels = whole.size() > film::kHeaderChannels ? whole[film::kHeaderChannels] : 0;
    const BYTE bits =
        whole.size() > film::kHeaderBitsPerSample ? whole[film::kHeaderBitsPerSample] : 0;
    const bool planarAudio = channels == 2 && bits != 8 && bits != 16;
    // A cut frame's picture is a damaged frame's, whose pixels no whole
    // frame's picture need match.
    const size_t branches = std::min(cut.size(), m_throughDecoder ? size_t{1} : full.size());
    for (size_t b = planarAudio ? 1 : 0; b < branches; ++b) {
      if (cut[b].size() > full[b].size()) {
        return Fail("a cut file delivered more samples than the whole one");
      }
      for (size_t i = 0; i < cut[b].size(); ++i) {
        const ReceivedSample& got = cut[b][i];
        const ReceivedSample& want = full[b][i];
        const bool shorter = got.bytes.size() < want.bytes.size();
        // Audio goes out in whole frames, so every delivered byte is the file's.
        const size_t compared = got.bytes.size();
        if (got.start != want.start || got.bytes.size() > want.bytes.size() ||
            !std::equal(got.bytes.begin(), got.bytes.begin() + compared, want.bytes.begin()) ||
            (!shorter && got.stop != want.stop)) {
          return Fail("a cut file delivered a sample that is not the whole file's: branch " +
                      std::to_string(b) + " sample " + std::to_string(i) + " of " +
                      std::to_string(cut[b].size()) + ", " + std::to_string(got.bytes.size()) +
                      " bytes from " + std::to_string(got.start) + " to " +
                      std::to_string(got.stop) + " instead of " +
                      std::to_string(want.bytes.size()) + " from " + std::to_string(want.start) +
                      " to " + std::to_string(want.stop));
        }
        if (shorter && (b != 0 || i + 1 != cut[b].size())) {
          return Fail("a cut file delivered a shortened sample that is not the last audio one");
        }
      }
    }
  }

  // The decoder's pictures against the frames the splitter delivers of the
  // same file straight to a sink.
  void CheckPicturesAgainstFrames(const std::vector<uint8_t>& whole, const Deliveries& pictures) {
    GraphControl control = m_control;
    control.decoder = 0;
    control.prefixless = 0;
    Deliveries frames;
    const std::string failure = GraphRun(control, whole).Run(&frames);
    if (!failure.empty()) return Fail("straight to a sink: " + failure);
    if (frames.size() < 2 || pictures.size() < 2) return;
    const std::string broken =
        CheckPicturesOfFrames(frames[1], pictures[1], m_pictureWidth, m_pictureHeight);
    if (!broken.empty()) Fail("Video through the decoder, " + broken);
  }

  // Pictures of at most a video sample buffer's bytes go through the
  // decoder, so that a fuzzed size cannot make every input's run slow.
  bool SmallPicture() const {
    if (m_whole.size() < film::kHeaderLength) return false;
    const CBigEndianReader header(m_whole.data(), film::kHeaderLength);
    const uint64_t width = header.U32(film::kHeaderWidth);
    const uint64_t height = header.U32(film::kHeaderHeight);
    return width * height * 4 <= kVideoSampleBuffer;
  }

  void Stream() {
    HRESULT created = S_OK;
    CInnerUnknown* object = CreateCpkSplitterFilter(nullptr, &created);
    if (object == nullptr || FAILED(created)) {
      return Fail("the splitter could not be created");
    }
    if (FAILED(object->InnerQueryInterface(IID_IBaseFilter,
                                           m_splitter.ReleaseAndGetVoidAddressOf()))) {
      return Fail("the splitter has no IBaseFilter");
    }
    m_source = new MemoryAsyncSource(m_file);
    if (m_control.lengthChange == kGrows || m_control.lengthChange == kShrinks) {
      std::vector<uint8_t> changed = m_whole;
      if (m_control.lengthChange == kShrinks) {
        changed.resize(changed.size() - std::min<size_t>(changed.size(), m_control.cutBytes));
      }
      m_source->ReplaceBytesAfterRead(m_control.disturbedRead, std::move(changed));
    }
    m_source->SetSubtype(MEDIASUBTYPE_CpkFilm);
    m_source->SetPastEnd(m_control.pastEndFails ? MemoryAsyncSource::PastEnd::Fail
                                                : MemoryAsyncSource::PastEnd::ShortRead);
    static const HRESULT kDisturbances[] = {S_OK, S_FALSE, E_FAIL, E_UNEXPECTED};
    if (m_control.disturbance % 4 != 0) {
      m_source->AnswerRead(m_control.disturbedRead, kDisturbances[m_control.disturbance % 4]);
    }
    CComHolder<IPin> input = FindPin(WIDE("Input"));
    if (!input) return Fail("the splitter has no input pin");
    if (FAILED(m_source->OutputPin()->Connect(input.Get(), nullptr))) return;

    m_branches = {{WIDE("Audio"), m_control.refuseAudio, film::kStagingBufferLength},
                  {WIDE("Video"), m_control.refuseVideo, kVideoSampleBuffer}};
    bool wanted[] = {m_control.connectAudio, m_control.connectVideo};
    for (size_t i = 0; i < m_branches.size(); ++i) {
      if (!wanted[i]) continue;
      if (i == 1 && m_control.decoder != 0 && SmallPicture() &&
          ConnectThroughDecoder(m_branches[i])) {
        continue;
      }
      ConnectBranch(m_branches[i]);
    }
    if (!m_failure.empty()) return;

    Progress before = Measure();
    ChangeState(State_Paused);
    if (m_control.run) ChangeState(State_Running);
    WaitForStreaming(before, m_control.stopAfter);
    ChangeState(State_Stopped);
    if (m_control.replay) {
      before = Measure();
      ChangeState(State_Paused);
      WaitForStreaming(before, 0);
      ChangeState(State_Stopped);
    }
    for (const Branch& branch : m_branches) {
      if (branch.sink != nullptr) CheckSamples(branch);
    }
    if (m_throughDecoder) CheckPictureFormat(m_branches[1]);
  }

  CComHolder<IPin> FindPin(const WCHAR* name) {
    CComHolder<IPin> pin;
    if (FAILED(m_splitter->FindPin(name, pin.ReleaseAndGetAddressOf()))) pin.Detach();
    return pin;
  }

  static CComHolder<IPin> FindPinOf(IBaseFilter* filter, const WCHAR* name) {
    CComHolder<IPin> pin;
    if (FAILED(filter->FindPin(name, pin.ReleaseAndGetAddressOf()))) pin.Detach();
    return pin;
  }

  // The video through a decoder filter of its own into the sink; false when
  // the decoder takes no such video, which then goes straight to its sink,
  // as a graph builder would move on.
  bool ConnectThroughDecoder(Branch& branch) {
    CComHolder<IPin> output = FindPin(branch.pinName);
    if (!output) return false;
    HRESULT created = S_OK;
    CInnerUnknown* object = CreateCinepakDecoderFilter(nullptr, &created);
    if (object == nullptr) {
      Fail("the decoder could not be created");
      return true;
    }
    CComHolder<IBaseFilter> decoder;
    if (FAILED(
            object->InnerQueryInterface(IID_IBaseFilter, decoder.ReleaseAndGetVoidAddressOf())) ||
        FAILED(created)) {
      Fail("the decoder could not be created");
      return true;
    }
    CComHolder<IPin> input = FindPinOf(decoder.Get(), WIDE("Input"));
    CComHolder<IPin> pictures = FindPinOf(decoder.Get(), WIDE("Output"));
    if (!input || !pictures) {
      Fail("the decoder lacks a pin");
      return true;
    }
    if (FAILED(output->Connect(input.Get(), nullptr))) return false;
    m_decoder = decoder;
    RecordingSinkFilter* sink = MakeSink(branch);
    if (sink == nullptr) return true;
    static const GUID* const kTaken[] = {nullptr, nullptr, &MEDIASUBTYPE_RGB24, &MEDIASUBTYPE_YUY2};
    const GUID* taken = kTaken[m_control.decoder & 3];
    if (taken != nullptr) {
      sink->Input()->typeTest = [taken](const AM_MEDIA_TYPE& type) {
        return IsEqualGUID(type.subtype, *taken) ? S_OK : S_FALSE;
      };
    }
    if (FAILED(pictures->Connect(static_cast<IPin*>(sink->Input()), nullptr))) {
      Fail("the decoder's output refused a sink that takes one of its pictures");
      return true;
    }
    if (m_typeAttacher != nullptr && taken != &MEDIASUBTYPE_YUY2) FlipRowsLater(pictures.Get());
    branch.sink = sink;
    branch.payloadLimit = UINT32_MAX;  // CheckPictureFormat bounds the pictures
    m_throughDecoder = true;
    return true;
  }

  // A renderer's new type on the second buffer: the agreed one, its rows the
  // other way up, so that the pictures keep their size.
  void FlipRowsLater(IPin* pictures) {
    CMediaTypeRecord flipped;
    if (pictures->ConnectionMediaType(&flipped) != S_OK ||
        flipped.cbFormat < sizeof(VIDEOINFOHEADER)) {
      return;
    }
    BITMAPINFOHEADER& header = reinterpret_cast<VIDEOINFOHEADER*>(flipped.pbFormat)->bmiHeader;
    header.biHeight = -header.biHeight;
    m_typeAttacher->AttachType(2, flipped);
  }

  // The pictures have the sides of the splitter's video and the bytes of the
  // type the decoder and the sink agreed on.
  void CheckPictureFormat(const Branch& branch) {
    CComHolder<IPin> pictures = FindPinOf(m_decoder.Get(), WIDE("Output"));
    CComHolder<IPin> video = FindPin(branch.pinName);
    CMediaTypeRecord agreed;
    CMediaTypeRecord frames;
    if (!pictures || !video || pictures->ConnectionMediaType(&agreed) != S_OK ||
        video->ConnectionMediaType(&frames) != S_OK) {
      return Fail("the decoder's connections are gone");
    }
    if (agreed.cbFormat < sizeof(VIDEOINFOHEADER) || frames.cbFormat < sizeof(VIDEOINFOHEADER)) {
      return Fail("a video type without its picture format");
    }
    const BITMAPINFOHEADER& out =
        reinterpret_cast<const VIDEOINFOHEADER*>(agreed.pbFormat)->bmiHeader;
    const BITMAPINFOHEADER& in =
        reinterpret_cast<const VIDEOINFOHEADER*>(frames.pbFormat)->bmiHeader;
    m_pictureWidth = static_cast<uint32_t>(in.biWidth);
    m_pictureHeight = static_cast<uint32_t>(in.biHeight < 0 ? -int64_t{in.biHeight} : in.biHeight);
    const int64_t outHeight = out.biHeight < 0 ? -int64_t{out.biHeight} : out.biHeight;
    if (outHeight != m_pictureHeight || out.biWidth < in.biWidth) {
      return Fail("the decoder's pictures do not have the video's sides");
    }
    const std::string failure =
        CheckPictureSizes(branch.sink->Input()->Received(), out.biSizeImage);
    if (!failure.empty()) Fail("Video through the decoder, " + failure);
  }

  void ConnectBranch(Branch& branch) {
    CComHolder<IPin> output = FindPin(branch.pinName);
    if (!output) return;
    RecordingSinkFilter* sink = MakeSink(branch);
    if (sink == nullptr) return;
    HRESULT hr = output->Connect(static_cast<IPin*>(sink->Input()), nullptr);
    if (FAILED(hr)) return Fail("an output pin refused a sink that takes any type");
    branch.sink = sink;
  }

  RecordingSinkFilter* MakeSink(const Branch& branch) {
    auto* sink = new RecordingSinkFilter();
    m_sinks.emplace_back(static_cast<IBaseFilter*>(sink));
    if (branch.refuse) sink->Input()->RefuseSamples(E_FAIL);
    if (m_control.prefixless == 1 || m_control.prefixless == 2) {
      CComHolder<IMemAllocator> own;
      if (FAILED(sink->Input()->GetAllocator(own.ReleaseAndGetAddressOf()))) {
        Fail("a sink has no allocator of its own");
        return nullptr;
      }
      sink->Input()->offeredAllocator = new PrefixlessAllocator(
          own.Get(), m_control.prefixless == 1 ? PrefixlessAllocator::Answer::Refuse
                                               : PrefixlessAllocator::Answer::Ignore);
    }
    if (m_control.prefixless == 3) {
      CComHolder<IMemAllocator> own;
      if (FAILED(sink->Input()->GetAllocator(own.ReleaseAndGetAddressOf()))) {
        Fail("a sink has no allocator of its own");
        return nullptr;
      }
      m_typeAttacher = new TypeAttachingAllocator(own.Get());
      sink->Input()->offeredAllocator = m_typeAttacher;
    }
    sink->Input()->onProgress = [this] { NotifyProgress(); };
    return sink;
  }

  // Downstream filters change state first, as a graph does it.
  void ChangeState(FILTER_STATE state) {
    for (auto& sink : m_sinks) Apply(sink.Get(), state);
    if (m_decoder) Apply(m_decoder.Get(), state);
    Apply(m_splitter.Get(), state);
    if (m_source) Apply(m_source.Get(), state);
  }

  static void Apply(IBaseFilter* filter, FILTER_STATE state) {
    if (state == State_Stopped) filter->Stop();
    if (state == State_Paused) filter->Pause();
    if (state == State_Running) filter->Run(0);
  }

  struct Progress {
    std::vector<int> ends;  // end-of-stream calls, per branch
    size_t offered = 0;     // samples offered downstream, on every branch
  };

  // Taken before the state change that starts streaming, which may end at once.
  Progress Measure() {
    Progress progress;
    for (const Branch& branch : m_branches) {
      RecordingSinkFilter* sink = branch.sink;
      progress.ends.push_back(sink ? sink->Input()->EndOfStreamCount() : 0);
      progress.offered += sink ? sink->Input()->ReceiveResults().size() : 0;
    }
    return progress;
  }

  // Called by a sink's thread after each receive or end-of-stream, outside
  // the sink's lock; taking the progress lock first means a waiter is either
  // still to look at the sinks or already asleep and woken here.
  void NotifyProgress() {
    { std::lock_guard<std::mutex> guard(m_progressLock); }
    m_progressChanged.notify_all();
  }

  bool Reached(const Progress& before, size_t stopAfter) {
    Progress now = Measure();
    bool ended = true;
    for (size_t i = 0; i < m_branches.size(); ++i) {
      if (m_branches[i].sink != nullptr) ended = ended && now.ends[i] > before.ends[i];
    }
    // A stream that ends before the chosen sample stops the wait as well.
    return ended || (stopAfter != 0 && now.offered >= before.offered + stopAfter);
  }

  // Until every connected sink saw end-of-stream once more than before, or
  // (stopAfter non-zero) until that many more samples were offered, counted
  // over both outputs in whatever order they arrive. A minute is far beyond
  // any input's run; past it the input fails, naming what never came,
  // instead of hanging until a harness's own timeout.
  void WaitForStreaming(const Progress& before, size_t stopAfter) {
    std::unique_lock<std::mutex> guard(m_progressLock);
    if (m_progressChanged.wait_for(guard, std::chrono::minutes(1),
                                   [&] { return Reached(before, stopAfter); })) {
      return;
    }
    const Progress now = Measure();
    Fail(stopAfter != 0 && now.offered < before.offered + stopAfter
             ? std::to_string(before.offered + stopAfter - now.offered) + " of " +
                   std::to_string(stopAfter) + " samples never came, nor an end of stream"
             : "an output never sent end of stream within a minute");
  }

  // Times run on per stream from 0 (or from the start again after a replay);
  // no payload is larger than the buffer that carries it.
  void CheckSamples(const Branch& branch) {
    // An audio chunk that is not whole frames goes out cut to them, so the
    // next one starts up to a frame's time after its stop.
    const bool audio = branch.payloadLimit == film::kStagingBufferLength;
    const BYTE channels = m_file.size() > film::kHeaderChannels ? m_file[film::kHeaderChannels] : 0;
    const BYTE bits =
        m_file.size() > film::kHeaderBitsPerSample ? m_file[film::kHeaderBitsPerSample] : 0;
    const DWORD rate =
        m_file.size() > film::kHeaderSampleRate + 1
            ? (DWORD{m_file[film::kHeaderSampleRate]} << 8) | m_file[film::kHeaderSampleRate + 1]
            : 0;
    // The bytes a cut drops are fewer than a frame's; its time is counted
    // as the splitter counts, by the block's bytes a second.
    const DWORD frameBytes = channels * (bits >= 8 ? bits / 8u : 1u);
    const DWORD bytesPerSecond = rate * ((DWORD{bits} * channels) / 8u);
    const REFERENCE_TIME frameTime =
        audio && bytesPerSecond != 0 ? film::kUnitsPerSecond * frameBytes / bytesPerSecond + 1 : 0;
    REFERENCE_TIME previousStop = 0;
    for (const ReceivedSample& sample : branch.sink->Input()->Received()) {
      if (sample.bytes.size() > branch.payloadLimit) {
        return Fail("a sample carries more than its buffer holds");
      }
      if (sample.timeResult != S_OK) return Fail("a sample arrived without times");
      if (sample.stop < sample.start) return Fail("a sample stops before it starts");
      // A lost row leaves a gap, and the sample after it says so; so does the
      // first sample of a replay whose first rows are lost.
      const bool follows =
          sample.start >= previousStop && sample.start - previousStop < frameTime + 1;
      if (sample.start != 0 && !sample.discontinuity && !follows) {
        return Fail("a sample does not start where the previous one stopped: " +
                    std::to_string(sample.start) + " after " + std::to_string(previousStop) +
                    (sample.discontinuity ? ", a discontinuity" : ""));
      }
      previousStop = sample.stop;
    }
    int ends = branch.sink->Input()->EndOfStreamCount();
    int expectedEnds = (m_control.stopAfter == 0 ? 1 : 0) + (m_control.replay ? 1 : 0);
    if (m_failure.empty() && ends < expectedEnds) {
      Fail("a sink saw fewer end-of-stream calls than streams that ended");
    }
  }

  void TearDown() {
    if (m_splitter) ChangeState(State_Stopped);
    for (auto& sink : m_sinks) {
      static_cast<RecordingSinkFilter*>(sink.Get())->Input()->DropKept();
    }
    if (m_decoder) DisconnectPins(m_decoder.Get());
    if (m_splitter) DisconnectPins(m_splitter.Get());
    if (m_source) m_source->OutputPin()->Disconnect();
    m_sinks.clear();
    m_decoder.Reset();
    m_splitter.Reset();
    m_source.Reset();
  }

  // Each of the filter's pins and its peer.
  static void DisconnectPins(IBaseFilter* filter) {
    CComHolder<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.ReleaseAndGetAddressOf()))) return;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
      CComHolder<IPin> peer;
      if (pin->ConnectedTo(peer.ReleaseAndGetAddressOf()) == S_OK) {
        peer->Disconnect();
      } else {
        peer.Detach();
      }
      pin->Disconnect();
      pin->Release();
    }
  }

  static constexpr uint8_t kGrows = 1;
  static constexpr uint8_t kShrinks = 2;

  GraphControl m_control;
  std::vector<uint8_t> m_file;                          // as the source holds it at first
  std::vector<uint8_t> m_whole;                         // before any cut
  std::optional<filmwriter::FilmExpectation> m_expect;  // for a written film only
  CComHolder<IBaseFilter> m_splitter;
  CComHolder<IBaseFilter> m_decoder;  // between the splitter's video and its sink, when there
  // Borrowed from the last sink made with it, which holds it counted.
  TypeAttachingAllocator* m_typeAttacher = nullptr;
  bool m_throughDecoder = false;  // the video sink receives the decoder's pictures
  uint32_t m_pictureWidth = 0;    // the splitter's video, as the decoder took it
  uint32_t m_pictureHeight = 0;
  CComHolder<MemoryAsyncSource> m_source;
  std::vector<CComHolder<IBaseFilter>> m_sinks;
  std::vector<Branch> m_branches;
  std::string m_failure;
  std::mutex m_progressLock;  // taken before any sink's lock
  std::condition_variable m_progressChanged;
};

}  // namespace

std::vector<uint8_t> GraphControl::Encode() const {
  return {
      static_cast<uint8_t>((connectAudio ? 0x01 : 0) | (connectVideo ? 0x02 : 0) |
                           (pastEndFails ? 0x04 : 0) | (run ? 0x08 : 0) | (refuseAudio ? 0x10 : 0) |
                           (refuseVideo ? 0x20 : 0) | (replay ? 0x40 : 0) | (written ? 0x80 : 0)),
      static_cast<uint8_t>(stopAfter >> 8),
      static_cast<uint8_t>(stopAfter),
      disturbedRead,
      static_cast<uint8_t>((disturbance & 3) | (prefixless & 3) << 2 | (lengthChange & 3) << 4 |
                           (decoder & 3) << 6),
      static_cast<uint8_t>(cutBytes >> 8),
      static_cast<uint8_t>(cutBytes)};
}

GraphControl GraphControl::Decode(const uint8_t* data, size_t size) {
  uint8_t bytes[kLength] = {};
  std::copy_n(data, std::min(size, kLength), bytes);
  GraphControl control;
  control.connectAudio = (bytes[0] & 0x01) != 0;
  control.connectVideo = (bytes[0] & 0x02) != 0;
  control.pastEndFails = (bytes[0] & 0x04) != 0;
  control.run = (bytes[0] & 0x08) != 0;
  control.refuseAudio = (bytes[0] & 0x10) != 0;
  control.refuseVideo = (bytes[0] & 0x20) != 0;
  control.replay = (bytes[0] & 0x40) != 0;
  control.written = (bytes[0] & 0x80) != 0;
  control.stopAfter = static_cast<uint16_t>((bytes[1] << 8) | bytes[2]);
  control.disturbedRead = bytes[3];
  control.disturbance = bytes[4] & 3;
  control.prefixless = (bytes[4] >> 2) & 3;
  control.lengthChange = (bytes[4] >> 4) & 3;
  control.decoder = (bytes[4] >> 6) & 3;
  control.cutBytes = static_cast<uint16_t>((bytes[5] << 8) | bytes[6]);
  return control;
}

std::vector<uint8_t> MakeGraphInput(const GraphControl& control, const std::vector<uint8_t>& film) {
  std::vector<uint8_t> input = control.Encode();
  input.insert(input.end(), film.begin(), film.end());
  return input;
}

std::string CheckGraphInput(const uint8_t* data, size_t size) { return GraphRun(data, size).Run(); }

}  // namespace fuzzcheck
