// The splitter streaming a movie of realistic shape from a file into sinks
// that let go of every sample at once, against a plain loop of positioned
// reads of the same chunks from the same file ("vs_pread" near 1 means the
// splitter adds little to the reads themselves); and the cost of one row
// when the chunks are tiny, which is the splitter's per-sample overhead; and
// the time from Pause to the first sample on each output pin, also for a
// movie whose first video row comes after hundreds of audio rows; and the
// time from SetPositions on a paused movie of thousands of rows to the first
// sample of the new segment on each pin.
#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "Platform.h"
#include "com/CComHolder.h"
#include "filmwriter/FilmWriter.h"
#include "framework/CFilterBase.h"
#include "framework/CInputPinBase.h"
#include "runtime/CAutoLock.h"
#include "splitter/CCpkSplitterFilter.h"
#include "splitter/SplitterIdentifiers.h"

namespace {

// Bytes of heap in use: the splitter's memory is what it adds to this. The
// peak while streaming is sampled from the sinks every few samples.
// Large blocks are mapped on their own and counted apart from the arenas.
size_t HeapInUse() {
  const struct mallinfo2 info = mallinfo2();
  return info.uordblks + info.hblkhd;
}

std::atomic<size_t>& StreamingHeapPeak() {
  static std::atomic<size_t> peak{0};
  return peak;
}

void SampleHeap() {
  const size_t now = HeapInUse();
  size_t peak = StreamingHeapPeak().load(std::memory_order_relaxed);
  while (now > peak && !StreamingHeapPeak().compare_exchange_weak(peak, now)) {
  }
}

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct Chunk {
  uint64_t position;
  uint32_t length;
};

// A movie written to a temporary file, with its chunk list for the baseline.
struct MovieFile {
  std::string path;
  std::vector<Chunk> chunks;
  uint64_t payloadBytes = 0;
  uint64_t tableBytes = 0;  // the sample-table region the splitter keeps
  size_t rows = 0;
};

// Files to remove when the program ends.
std::vector<std::string>& WrittenFiles() {
  static std::vector<std::string> files;
  return files;
}

MovieFile WriteMovie(const filmwriter::FilmWriter& writer, const char* name) {
  MovieFile movie;
  const char* directory = std::getenv("TMPDIR");
  movie.path = std::string(directory != nullptr ? directory : "/tmp") + "/tessaly-bench-" + name +
               "-" + std::to_string(getpid()) + ".film";
  const std::vector<uint8_t> bytes = writer.Build();
  FILE* file = std::fopen(movie.path.c_str(), "wb");
  if (file == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size()) {
    std::abort();
  }
  std::fclose(file);
  WrittenFiles().push_back(movie.path);
  const uint32_t dataOffset = CBigEndianReader(bytes.data(), static_cast<uint32_t>(bytes.size()))
                                  .U32(film::kHeaderDataOffset);
  movie.tableBytes = dataOffset - film::kHeaderLength;
  movie.rows = writer.RowCount();
  const uint32_t region = static_cast<uint32_t>(movie.tableBytes);
  const CFilmSampleTable table(bytes.data() + film::kHeaderLength, region, region);
  for (size_t row = 0; row < movie.rows; ++row) {
    const FilmSampleEntry entry = table.Row(static_cast<uint32_t>(row));
    Chunk chunk = {uint64_t{dataOffset} + entry.chunkOffset, entry.chunkLength};
    movie.chunks.push_back(chunk);
    movie.payloadBytes += chunk.length;
  }
  return movie;
}

// Three minutes of 16-bit stereo at rate with pictures of width x height at
// fps a second, one key frame a second; frame i takes firstFrame + (i % fps)
// x frameStep bytes, an audio chunk one second's bytes / fps.
MovieFile WriteThreeMinutes(uint16_t rate, uint32_t width, uint32_t height, uint32_t fps,
                            size_t firstFrame, size_t frameStep, const char* name) {
  filmwriter::FilmFormat format;
  format.width = width;
  format.height = height;
  format.channels = 2;
  format.bitsPerSample = 16;
  format.sampleRate = rate;
  format.timeBase = fps;
  filmwriter::FilmWriter writer(format);
  std::vector<uint8_t> audio(size_t{rate} * 4 / fps);
  std::vector<uint8_t> frame;
  for (uint32_t i = 0; i < 3 * 60 * fps; ++i) {
    for (size_t k = 0; k < audio.size(); ++k) {
      audio[k] = static_cast<uint8_t>(k * 7 + i);
    }
    frame.assign(firstFrame + (i % fps) * frameStep, static_cast<uint8_t>(i));
    writer.AddAudio(audio);
    writer.AddVideo(frame, 1, i % fps == 0);
  }
  return WriteMovie(writer, name);
}

// 22,050 Hz and 320x240 Cinepak-sized frames at 15 a second.
const MovieFile& RealisticMovie() {
  static const MovieFile movie = WriteThreeMinutes(22050, 320, 240, 15, 9000, 400, "realistic");
  return movie;
}

// 44,100 Hz at 30 frames a second with small pictures: most of the bytes are
// audio, read and converted on their way out.
const MovieFile& AudioHeavyMovie() {
  static const MovieFile movie = WriteThreeMinutes(44100, 160, 120, 30, 1200, 40, "audio-heavy");
  return movie;
}

// Argument 0: the realistic movie; 1: the audio-heavy one.
const MovieFile& StreamedMovie(int64_t which) {
  return which == 0 ? RealisticMovie() : AudioHeavyMovie();
}
const char* StreamedMovieName(int64_t which) { return which == 0 ? "realistic" : "audio_heavy"; }

// Chunks of a few bytes: the time per row is what the splitter itself costs.
const MovieFile& TinyRowMovie() {
  static const MovieFile movie = [] {
    filmwriter::FilmWriter writer;
    for (int i = 0; i < 20000; ++i) {
      writer.AddAudio(std::vector<uint8_t>(16, static_cast<uint8_t>(i)));
      writer.AddVideo(std::vector<uint8_t>(12, static_cast<uint8_t>(i)), 1);
    }
    return WriteMovie(writer, "tiny");
  }();
  return movie;
}

// The upstream end: an output pin offering IAsyncReader over a file through
// positioned reads, so that concurrent readers never share an offset. Only
// what a pull-mode input pin uses is answered.
class FileReaderPin : public IPin, public IAsyncReader {
 public:
  explicit FileReaderPin(const std::string& path) : m_file(open(path.c_str(), O_RDONLY)) {}
  ~FileReaderPin() {
    if (m_file >= 0) {
      close(m_file);
    }
  }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (IsEqualGUID(riid, IID_IUnknown) || IsEqualGUID(riid, IID_IPin)) {
      *ppv = static_cast<IPin*>(this);
    } else if (IsEqualGUID(riid, IID_IAsyncReader)) {
      *ppv = static_cast<IAsyncReader*>(this);
    } else {
      *ppv = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  // The benchmark owns the pin on its stack.
  STDMETHODIMP_(ULONG) AddRef() override { return 2; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP Connect(IPin* receiver, const AM_MEDIA_TYPE*) override {
    AM_MEDIA_TYPE type = {};
    type.majortype = MEDIATYPE_Stream;
    type.subtype = MEDIASUBTYPE_CpkFilm;
    type.bFixedSizeSamples = TRUE;
    type.lSampleSize = 1;
    type.formattype = FORMAT_None;
    return receiver->ReceiveConnection(static_cast<IPin*>(this), &type);
  }
  STDMETHODIMP ReceiveConnection(IPin*, const AM_MEDIA_TYPE*) override {
    return VFW_E_INVALID_DIRECTION;
  }
  STDMETHODIMP Disconnect() override { return S_OK; }
  STDMETHODIMP ConnectedTo(IPin** pin) override { return E_NOTIMPL; }
  STDMETHODIMP ConnectionMediaType(AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryPinInfo(PIN_INFO*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryDirection(PIN_DIRECTION* direction) override {
    *direction = PINDIR_OUTPUT;
    return S_OK;
  }
  STDMETHODIMP QueryId(LPWSTR*) override { return E_NOTIMPL; }
  STDMETHODIMP QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
  STDMETHODIMP EnumMediaTypes(IEnumMediaTypes**) override { return E_NOTIMPL; }
  STDMETHODIMP QueryInternalConnections(IPin**, ULONG*) override { return E_NOTIMPL; }
  STDMETHODIMP EndOfStream() override { return E_UNEXPECTED; }
  STDMETHODIMP BeginFlush() override { return S_OK; }
  STDMETHODIMP EndFlush() override { return S_OK; }
  STDMETHODIMP NewSegment(REFERENCE_TIME, REFERENCE_TIME, double) override { return S_OK; }

  STDMETHODIMP RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*, IMemAllocator**) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Request(IMediaSample*, DWORD_PTR) override { return E_NOTIMPL; }
  STDMETHODIMP WaitForNext(DWORD, IMediaSample**, DWORD_PTR*) override { return E_NOTIMPL; }
  STDMETHODIMP SyncReadAligned(IMediaSample*) override { return E_NOTIMPL; }
  STDMETHODIMP SyncRead(LONGLONG position, LONG length, BYTE* buffer) override {
    ssize_t got = pread(m_file, buffer, static_cast<size_t>(length), position);
    if (got < 0) {
      return E_FAIL;
    }
    return got == length ? S_OK : S_FALSE;
  }
  STDMETHODIMP Length(LONGLONG*, LONGLONG*) override { return E_NOTIMPL; }

 private:
  int m_file;
};

class DiscardingSinkFilter;

// Counts what arrives and lets the sample go as soon as Receive returns.
class DiscardingInputPin : public CInputPinBase {
 public:
  DiscardingInputPin(CFilterBase* owner, CRITICAL_SECTION* lock)
      : CInputPinBase("DiscardingInputPin", owner, lock, nullptr, WIDE("In")) {}
  HRESULT TestMediaType(const CMediaTypeRecord*) override { return S_OK; }
  HRESULT FinishConnection(IPin*) override { return S_OK; }
  STDMETHODIMP Receive(IMediaSample* sample) override {
    m_bytes += static_cast<uint64_t>(sample->GetActualDataLength());
    if (m_received.fetch_add(1, std::memory_order_relaxed) % 64 == 0) {
      SampleHeap();
    }
    if (!m_gotFirst.load(std::memory_order_relaxed)) {
      std::lock_guard<std::mutex> guard(m_lock);
      // Samples of the old position still in flight do not count.
      if (m_awaitingSegment) return S_OK;
      m_firstAt = Seconds();
      m_gotFirst.store(true, std::memory_order_relaxed);
      m_changed.notify_all();
    }
    return S_OK;
  }
  STDMETHODIMP NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override {
    {
      std::lock_guard<std::mutex> guard(m_lock);
      if (m_awaitingSegment && start == m_awaitedStart) m_awaitingSegment = false;
    }
    return CInputPinBase::NewSegment(start, stop, rate);
  }
  void ForgetFirst() {
    std::lock_guard<std::mutex> guard(m_lock);
    m_gotFirst.store(false, std::memory_order_relaxed);
  }
  // The next first sample is the first after a NewSegment starting at start.
  void ForgetFirstUntilSegment(REFERENCE_TIME start) {
    std::lock_guard<std::mutex> guard(m_lock);
    m_gotFirst.store(false, std::memory_order_relaxed);
    m_awaitingSegment = true;
    m_awaitedStart = start;
  }
  // When the first sample since ForgetFirst arrived.
  double WaitForFirst() {
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait(guard, [&] { return m_gotFirst.load(std::memory_order_relaxed); });
    return m_firstAt;
  }
  STDMETHODIMP EndOfStream() override {
    std::lock_guard<std::mutex> guard(m_lock);
    ++m_endOfStream;
    m_changed.notify_all();
    return S_OK;
  }
  void WaitForEndOfStream(int count) {
    std::unique_lock<std::mutex> guard(m_lock);
    m_changed.wait(guard, [&] { return m_endOfStream >= count; });
  }

 private:
  std::atomic<uint64_t> m_bytes{0};
  std::atomic<uint64_t> m_received{0};
  std::atomic<bool> m_gotFirst{false};
  double m_firstAt = 0;               // guarded by m_lock
  bool m_awaitingSegment = false;     // guarded by m_lock
  REFERENCE_TIME m_awaitedStart = 0;  // guarded by m_lock
  std::mutex m_lock;
  std::condition_variable m_changed;
  int m_endOfStream = 0;
};

class DiscardingSinkFilter : public CFilterBase {
 public:
  DiscardingSinkFilter()
      : CFilterBase("DiscardingSinkFilter", nullptr, Initialized(&m_lock), CLSID_NULL),
        m_pin(this, &m_lock) {}
  ~DiscardingSinkFilter() override { DeleteCriticalSection(&m_lock); }
  int PinCount() override { return 1; }
  CPinBase* PinAt(int index) override { return index == 0 ? &m_pin : nullptr; }
  STDMETHODIMP Stop() override {
    CAutoLock lock(&m_lock);
    m_pin.Deactivate();
    m_state = State_Stopped;
    return S_OK;
  }
  STDMETHODIMP Pause() override {
    CAutoLock lock(&m_lock);
    m_state = State_Paused;
    return S_OK;
  }
  STDMETHODIMP Register() override { return S_FALSE; }
  STDMETHODIMP Unregister() override { return S_FALSE; }
  DiscardingInputPin* Input() { return &m_pin; }

 private:
  static CRITICAL_SECTION* Initialized(CRITICAL_SECTION* lock) {
    InitializeCriticalSection(lock);
    return lock;
  }
  CRITICAL_SECTION m_lock;
  DiscardingInputPin m_pin;
};

// Source pin, splitter and one discarding sink per output, connected once;
// each Pause from Stopped streams the whole file again.
class StreamingGraph {
 public:
  explicit StreamingGraph(const MovieFile& movie) : m_source(movie.path) {
    HRESULT result = S_OK;
    CInnerUnknown* object = CreateCpkSplitterFilter(nullptr, &result);
    if (object == nullptr || FAILED(result) ||
        FAILED(object->InnerQueryInterface(IID_IBaseFilter,
                                           m_splitter.ReleaseAndGetVoidAddressOf()))) {
      std::abort();
    }
    CComHolder<IPin> input;
    m_splitter->FindPin(WIDE("Input"), input.ReleaseAndGetAddressOf());
    if (!input || FAILED(m_source.Connect(input.Get(), nullptr))) {
      std::abort();
    }
    ConnectSink(WIDE("Audio"), &m_audio);
    ConnectSink(WIDE("Video"), &m_video);
  }
  ~StreamingGraph() {
    Stop();
    m_seeking.Reset();
    for (const WCHAR* name : {WIDE("Input"), WIDE("Audio"), WIDE("Video")}) {
      CComHolder<IPin> pin;
      if (SUCCEEDED(m_splitter->FindPin(name, pin.ReleaseAndGetAddressOf())) && pin) {
        CComHolder<IPin> peer;
        if (pin->ConnectedTo(peer.ReleaseAndGetAddressOf()) == S_OK) {
          peer->Disconnect();
        }
        pin->Disconnect();
      }
    }
    m_splitter.Reset();
  }

  // Seconds from the splitter's Pause to the first sample on each pin.
  void TimeFirstSamples(double* audio, double* video) {
    DiscardingInputPin* audioPin = static_cast<DiscardingSinkFilter*>(m_audio.Get())->Input();
    DiscardingInputPin* videoPin = static_cast<DiscardingSinkFilter*>(m_video.Get())->Input();
    audioPin->ForgetFirst();
    videoPin->ForgetFirst();
    m_audio->Pause();
    m_video->Pause();
    const double begin = Seconds();
    m_splitter->Pause();
    *audio += audioPin->WaitForFirst() - begin;
    *video += videoPin->WaitForFirst() - begin;
    Stop();
  }

  // Seconds from SetPositions on the video pin of the paused splitter to the
  // first sample of the new segment on each pin.
  void TimeSeek(REFERENCE_TIME target, double* audio, double* video) {
    DiscardingInputPin* audioPin = static_cast<DiscardingSinkFilter*>(m_audio.Get())->Input();
    DiscardingInputPin* videoPin = static_cast<DiscardingSinkFilter*>(m_video.Get())->Input();
    if (!m_seeking) {
      CComHolder<IPin> output;
      m_splitter->FindPin(WIDE("Video"), output.ReleaseAndGetAddressOf());
      if (!output || FAILED(output->QueryInterface(IID_IMediaSeeking,
                                                   m_seeking.ReleaseAndGetVoidAddressOf()))) {
        std::abort();
      }
    }
    audioPin->ForgetFirstUntilSegment(target);
    videoPin->ForgetFirstUntilSegment(target);
    LONGLONG current = target;
    const double begin = Seconds();
    if (FAILED(m_seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                       AM_SEEKING_NoPositioning))) {
      std::abort();
    }
    *audio += audioPin->WaitForFirst() - begin;
    *video += videoPin->WaitForFirst() - begin;
  }
  void Pause() {
    m_audio->Pause();
    m_video->Pause();
    m_splitter->Pause();
  }

  // Bytes of sample buffers the two outputs' allocators hold.
  size_t SampleBufferBytes() {
    size_t total = 0;
    for (IBaseFilter* sink : {m_audio.Get(), m_video.Get()}) {
      CComHolder<IMemAllocator> allocator;
      ALLOCATOR_PROPERTIES properties = {};
      if (FAILED(static_cast<DiscardingSinkFilter*>(sink)->Input()->GetAllocator(
              allocator.ReleaseAndGetAddressOf())) ||
          FAILED(allocator->GetProperties(&properties))) {
        std::abort();
      }
      total += static_cast<size_t>(properties.cBuffers) *
               static_cast<size_t>(properties.cbBuffer + properties.cbPrefix);
    }
    return total;
  }

  void StreamOnce() {
    ++m_round;
    m_audio->Pause();
    m_video->Pause();
    m_splitter->Pause();
    static_cast<DiscardingSinkFilter*>(m_audio.Get())->Input()->WaitForEndOfStream(m_round);
    static_cast<DiscardingSinkFilter*>(m_video.Get())->Input()->WaitForEndOfStream(m_round);
    Stop();
  }

 private:
  void ConnectSink(const WCHAR* name, CComHolder<IBaseFilter>* sink) {
    auto* filter = new DiscardingSinkFilter();
    *sink = static_cast<IBaseFilter*>(filter);
    CComHolder<IPin> output;
    m_splitter->FindPin(name, output.ReleaseAndGetAddressOf());
    if (!output || FAILED(output->Connect(static_cast<IPin*>(filter->Input()), nullptr))) {
      std::abort();
    }
  }
  void Stop() {
    m_audio->Stop();
    m_video->Stop();
    m_splitter->Stop();
  }

  FileReaderPin m_source;
  CComHolder<IBaseFilter> m_splitter;
  CComHolder<IBaseFilter> m_audio;
  CComHolder<IBaseFilter> m_video;
  CComHolder<IMediaSeeking> m_seeking;  // the video pin's, once a seek is timed
  int m_round = 0;
};

// One pass of positioned reads over the movie's chunks, into one buffer.
double ReadLoopSeconds(const MovieFile& movie) {
  int file = open(movie.path.c_str(), O_RDONLY);
  std::vector<uint8_t> buffer(262144);
  const double begin = Seconds();
  for (const Chunk& chunk : movie.chunks) {
    if (pread(file, buffer.data(), chunk.length, static_cast<off_t>(chunk.position)) < 0) {
      std::abort();
    }
    benchmark::ClobberMemory();
  }
  const double seconds = Seconds() - begin;
  close(file);
  return seconds;
}

void BM_PositionedReadLoop(benchmark::State& state) {
  const MovieFile& movie = StreamedMovie(state.range(0));
  for (auto _ : state) {
    ReadLoopSeconds(movie);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.payloadBytes));
}

// Each round streams the movie once and runs the read loop once beside it,
// and the figure is the median of the rounds' ratios: on a shared machine the
// load drifts, and a ratio of two measurements taken apart would measure the
// drift as much as the splitter.
void BM_SplitterStreaming(benchmark::State& state) {
  CoInitialize(nullptr);
  const MovieFile& movie = StreamedMovie(state.range(0));
  {
    StreamingGraph graph(movie);
    std::vector<double> ratios;
    for (auto _ : state) {
      const double begin = Seconds();
      graph.StreamOnce();
      const double streamed = Seconds() - begin;
      state.PauseTiming();
      ratios.push_back(ReadLoopSeconds(movie) / streamed);
      state.ResumeTiming();
    }
    std::sort(ratios.begin(), ratios.end());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * movie.payloadBytes));
    state.counters["vs_pread"] = ratios[ratios.size() / 2];
    benchfigures::Record("vs_pread", StreamedMovieName(state.range(0)), state.counters["vs_pread"]);
  }
  CoUninitialize();
}

void BM_TinyRows(benchmark::State& state) {
  CoInitialize(nullptr);
  const MovieFile& movie = TinyRowMovie();
  {
    StreamingGraph graph(movie);
    double streamed = 0;
    for (auto _ : state) {
      const double begin = Seconds();
      graph.StreamOnce();
      streamed += Seconds() - begin;
    }
    const double rows = static_cast<double>(state.iterations() * movie.rows);
    state.SetItemsProcessed(static_cast<int64_t>(rows));
    state.counters["ns_per_row"] = streamed * 1e9 / rows;
    benchfigures::Record("ns_per_row", "", state.counters["ns_per_row"]);
  }
  CoUninitialize();
}

// The heap the splitter holds once connected (its table among it), the most
// it adds while streaming (staging, read windows, sample buffers), and what
// is left over after many rounds compared with after the first: it must not
// grow. The table and the sample buffers are reported on their own as well.
void BM_StreamingMemory(benchmark::State& state) {
  CoInitialize(nullptr);
  const MovieFile& movie = StreamedMovie(state.range(0));
  const size_t before = HeapInUse();
  {
    StreamingGraph graph(movie);
    const size_t connected = HeapInUse();
    StreamingHeapPeak() = connected;
    graph.StreamOnce();
    const size_t afterFirst = HeapInUse();
    for (auto _ : state) {
      graph.StreamOnce();
    }
    const double kib = 1.0 / 1024;
    state.counters["connected_kib"] = static_cast<double>(connected - before) * kib;
    state.counters["table_kib"] = static_cast<double>(movie.tableBytes) * kib;
    state.counters["streaming_kib"] = static_cast<double>(StreamingHeapPeak() - connected) * kib;
    state.counters["sample_buffers_kib"] = static_cast<double>(graph.SampleBufferBytes()) * kib;
    state.counters["growth_kib"] =
        (static_cast<double>(HeapInUse()) - static_cast<double>(afterFirst)) * kib;
    for (const char* name :
         {"connected_kib", "table_kib", "streaming_kib", "sample_buffers_kib", "growth_kib"}) {
      benchfigures::Record("memory", std::string(StreamedMovieName(state.range(0))) + "_" + name,
                           state.counters[name]);
    }
  }
  CoUninitialize();
}

// A million rows (16 MB of table) over tiny chunks: what connecting costs
// against one positioned read of the header and table into new memory.
const MovieFile& MillionRowMovie() {
  static const MovieFile movie = [] {
    filmwriter::FilmWriter writer;
    const std::vector<uint8_t> audio(4, 1);
    const std::vector<uint8_t> frame(12, 2);
    for (int i = 0; i < 500000; ++i) {
      writer.AddAudio(audio);
      writer.AddVideo(frame, 1);
    }
    return WriteMovie(writer, "million");
  }();
  return movie;
}

double TableReadSeconds(const MovieFile& movie) {
  const int file = open(movie.path.c_str(), O_RDONLY);
  const size_t length = static_cast<size_t>(movie.chunks.front().position);
  const double begin = Seconds();
  std::unique_ptr<uint8_t[]> table(new uint8_t[length]);
  if (file < 0 || pread(file, table.get(), length, 0) != static_cast<ssize_t>(length)) {
    std::abort();
  }
  benchmark::DoNotOptimize(table.get());
  const double seconds = Seconds() - begin;
  close(file);
  return seconds;
}

void BM_ConnectMillionRows(benchmark::State& state) {
  CoInitialize(nullptr);
  const MovieFile& movie = MillionRowMovie();
  double read = 0;
  double connect = 0;
  for (auto _ : state) {
    read += TableReadSeconds(movie);
    HRESULT result = S_OK;
    CComHolder<IBaseFilter> splitter;
    CInnerUnknown* object = CreateCpkSplitterFilter(nullptr, &result);
    if (object == nullptr || FAILED(result) ||
        FAILED(
            object->InnerQueryInterface(IID_IBaseFilter, splitter.ReleaseAndGetVoidAddressOf()))) {
      std::abort();
    }
    CComHolder<IPin> input;
    splitter->FindPin(WIDE("Input"), input.ReleaseAndGetAddressOf());
    FileReaderPin source(movie.path);
    const double begin = Seconds();
    if (!input || FAILED(source.Connect(input.Get(), nullptr))) {
      std::abort();
    }
    connect += Seconds() - begin;
    input->Disconnect();
  }
  state.counters["connect_ms"] = connect * 1e3 / static_cast<double>(state.iterations());
  state.counters["read_ms"] = read * 1e3 / static_cast<double>(state.iterations());
  state.counters["connect_x_pread"] = connect / read;
  benchfigures::Record("connect_x_pread", "", connect / read);
  CoUninitialize();
}

// 300 audio rows before the first video row: the video pin must not wait for them.
const MovieFile& AudioFirstMovie() {
  static const MovieFile movie = [] {
    filmwriter::FilmFormat format;
    format.channels = 2;
    format.bitsPerSample = 16;
    format.sampleRate = 22050;
    format.timeBase = 15;
    filmwriter::FilmWriter writer(format);
    const std::vector<uint8_t> audio(88200 / 15, 1);
    for (int i = 0; i < 300; ++i) writer.AddAudio(audio);
    for (int i = 0; i < 300; ++i) writer.AddVideo(std::vector<uint8_t>(9000, 2), 1, i % 15 == 0);
    return WriteMovie(writer, "audio-first");
  }();
  return movie;
}

// Argument 0: the realistic movie; 1: the audio-first movie.
void BM_PauseToFirstSample(benchmark::State& state) {
  CoInitialize(nullptr);
  const MovieFile& movie = state.range(0) == 0 ? RealisticMovie() : AudioFirstMovie();
  {
    StreamingGraph graph(movie);
    double audio = 0;
    double video = 0;
    for (auto _ : state) {
      graph.TimeFirstSamples(&audio, &video);
    }
    const double rounds = static_cast<double>(state.iterations());
    state.counters["audio_first_us"] = audio * 1e6 / rounds;
    state.counters["video_first_us"] = video * 1e6 / rounds;
    const std::string movieName = state.range(0) == 0 ? "realistic" : "audio_first";
    benchfigures::Record("first_sample_us", movieName + "_audio", audio * 1e6 / rounds);
    benchfigures::Record("first_sample_us", movieName + "_video", video * 1e6 / rounds);
  }
  CoUninitialize();
}

// Seeks about the three-minute movie (5,400 rows) while it is paused, each to
// a different place between key frames.
void BM_SeekToFirstSample(benchmark::State& state) {
  CoInitialize(nullptr);
  const MovieFile& movie = RealisticMovie();
  {
    StreamingGraph graph(movie);
    graph.Pause();
    double audio = 0;
    double video = 0;
    int64_t round = 0;
    for (auto _ : state) {
      const REFERENCE_TIME target = ((round++ * 7919) % 170 + 5) * 10000000LL + 3333333;
      graph.TimeSeek(target, &audio, &video);
    }
    const double rounds = static_cast<double>(state.iterations());
    state.counters["audio_first_us"] = audio * 1e6 / rounds;
    state.counters["video_first_us"] = video * 1e6 / rounds;
    benchfigures::Record("seek_first_sample_us", "realistic_audio", audio * 1e6 / rounds);
    benchfigures::Record("seek_first_sample_us", "realistic_video", video * 1e6 / rounds);
  }
  CoUninitialize();
}

BENCHMARK(BM_PositionedReadLoop)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SplitterStreaming)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TinyRows)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ConnectMillionRows)->Iterations(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_StreamingMemory)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PauseToFirstSample)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->UseRealTime();
BENCHMARK(BM_SeekToFirstSample)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  benchfigures::Print();
  for (const std::string& path : WrittenFiles()) {
    std::remove(path.c_str());
  }
  return 0;
}
