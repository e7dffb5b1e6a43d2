// The Cinepak decoder module in the platform's graph: RenderFile brings it
// between the splitter and the renderer through the filter mapper; Pause
// holds the first picture (the bare library's to the byte), Run plays every
// frame to EC_COMPLETE, a seek shows the frame asked for (preroll decoded,
// not shown), damaged frames arrive marked, Stop returns while
// frames are in flight, and the output pin takes the types of its table.
#include <gtest/gtest.h>
#include <platform/GraphBuilding.h>
#include <platform/Registry.h>
#include <platform/Rendering.h>
#include <unistd.h>
#include <win/platform.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "cinepak/CFrameDecoder.h"
#include "com/CComHolder.h"
#include "com/CMediaTypeRecord.h"
#include "filmwriter/CinepakStream.h"
#include "filmwriter/FilmWriter.h"
#include "support/RecordingRenderObserver.h"
#include "support/RecordingSinkFilter.h"
#include "support/TestSourceFilter.h"
#include "support/TypeAttachingAllocator.h"

namespace {

constexpr LONG kPatienceMs = 60000;
constexpr uint32_t kWidth = 64;
constexpr uint32_t kHeight = 48;

// {EF35C655-4789-4C17-81F6-4E7C19F39BEB}: TESSALYCV.AX's filter.
constexpr CLSID CLSID_TessalyCinepakDecoder = {
    0xEF35C655, 0x4789, 0x4C17, {0x81, 0xF6, 0x4E, 0x7C, 0x19, 0xF3, 0x9B, 0xEB}};

using RegisterFn = HRESULT (*)();
using CanUnloadFn = HRESULT (*)();

// A movie of frameCount Cinepak frames, a key frame every sixth; hostile
// rows replace the frames at their indices.
struct Movie {
  std::string path;
  std::vector<std::vector<uint8_t>> frames;
};

Movie WriteMovieFile(const std::string& name, int frameCount,
                     const std::vector<std::pair<int, std::vector<uint8_t>>>& hostile) {
  filmwriter::FilmFormat format;
  format.width = kWidth;
  format.height = kHeight;
  format.timeBase = 60000;  // short real-time runs
  filmwriter::FilmWriter writer(format);
  filmwriter::CinepakStream stream(kWidth, kHeight, 36);
  Movie movie;
  for (int index = 0; index < frameCount; ++index) {
    std::vector<uint8_t> frame = stream.NextFrame(index % 6 == 0);
    for (const auto& row : hostile) {
      if (row.first == index) frame = row.second;
    }
    writer.AddVideo(frame, 100, index % 6 == 0);
    movie.frames.push_back(frame);
  }
  writer.AddAudio(std::vector<uint8_t>(10, 0x80));
  movie.path = "/tmp/tessaly-decoder-" + std::to_string(getpid()) + "-" + name + ".film";
  EXPECT_TRUE(writer.WriteFile(movie.path));
  return movie;
}

// A video type with a VIDEOINFOHEADER; the object owns the format block.
class VideoType {
 public:
  VideoType(const GUID& subtype, WORD bitCount, DWORD compression, LONG width, LONG height,
            bool masks565 = false) {
    static const DWORD kMasks[3] = {0xF800, 0x07E0, 0x001F};
    m_block.assign(sizeof(VIDEOINFOHEADER) + (masks565 ? sizeof(kMasks) : 0), 0);
    BITMAPINFOHEADER& header = Info()->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = compression;
    if (masks565) std::memcpy(m_block.data() + sizeof(VIDEOINFOHEADER), kMasks, sizeof(kMasks));
    m_type.majortype = MEDIATYPE_Video;
    m_type.subtype = subtype;
    m_type.formattype = FORMAT_VideoInfo;
    m_type.cbFormat = static_cast<ULONG>(m_block.size());
    m_type.pbFormat = m_block.data();
  }
  VideoType(const VideoType&) = delete;
  VideoType& operator=(const VideoType&) = delete;

  VIDEOINFOHEADER* Info() { return reinterpret_cast<VIDEOINFOHEADER*>(m_block.data()); }
  AM_MEDIA_TYPE* Get() { return &m_type; }

 private:
  std::vector<BYTE> m_block;
  AM_MEDIA_TYPE m_type = {};  // its format is m_block
};

// Both modules loaded and registered, the decoder found through the mapper.
class DecoderGraphTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::UseMemoryRegistry();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    splitter_ = LoadLibraryA(TESSALY_MODULE_PATH);
    decoder_ = LoadLibraryA(TESSALY_DECODER_MODULE_PATH);
    ASSERT_NE(splitter_, nullptr);
    ASSERT_NE(decoder_, nullptr);
    ASSERT_EQ(S_OK, Export<RegisterFn>(splitter_, "DllRegisterServer")());
    ASSERT_EQ(S_OK, Export<RegisterFn>(decoder_, "DllRegisterServer")());
  }

  void TearDown() override {
    Release();  // after a failed assertion too
    EXPECT_EQ(0u, video_.refs.load());
    EXPECT_EQ(S_OK, Export<RegisterFn>(decoder_, "DllUnregisterServer")());
    EXPECT_EQ(S_OK, Export<RegisterFn>(splitter_, "DllUnregisterServer")());
    EXPECT_EQ(S_OK, Export<CanUnloadFn>(decoder_, "DllCanUnloadNow")())
        << "an object of the decoder module outlived the test";
    FreeLibrary(decoder_);
    FreeLibrary(splitter_);
    CoFreeUnusedLibraries();
    CoUninitialize();
    platform::UseMemoryRegistry();
    for (const std::string& path : written_) std::remove(path.c_str());
  }

  // The movie's file goes when the test ends.
  Movie WriteMovie(const std::string& name, int frameCount,
                   const std::vector<std::pair<int, std::vector<uint8_t>>>& hostile = {}) {
    Movie movie = WriteMovieFile(name, frameCount, hostile);
    written_.push_back(movie.path);
    return movie;
  }

  // The decoded pictures go to a recording sink that offers this allocator
  // instead of the platform's renderer.
  RecordingSinkFilter* RecordInto(IMemAllocator* allocator) {
    recordingSink_ = new RecordingSinkFilter();
    recordingHolder_ = static_cast<IBaseFilter*>(recordingSink_);
    recordingSink_->Input()->offeredAllocator = allocator;
    return recordingSink_;
  }

  template <typename F>
  static F Export(HMODULE module, const char* name) {
    return reinterpret_cast<F>(GetProcAddress(module, name));
  }

  // Renders the movie: 'cvid' is left to the mapper; decoded pictures and
  // audio go to the platform's renderers.
  void Render(const std::string& path) {
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_IGraphBuilder, graph_.ReleaseAndGetVoidAddressOf()));
    auto make = [this](IPin* pin, const AM_MEDIA_TYPE* type, IBaseFilter** sink) -> HRESULT {
      if (type == nullptr || IsEqualGUID(type->majortype, MEDIATYPE_Stream)) return S_FALSE;
      if (IsEqualGUID(type->majortype, MEDIATYPE_Audio)) {
        return platform::CreateRenderer(nullptr, sink);
      }
      if (!IsEqualGUID(type->subtype, MEDIASUBTYPE_RGB32)) return S_FALSE;
      decoderOutput_ = pin;
      if (recordingSink_ != nullptr) {
        *sink = static_cast<IBaseFilter*>(recordingSink_);
        (*sink)->AddRef();
        return S_OK;
      }
      return platform::CreateRenderer(&video_, sink);
    };
    auto* factory = new platform::CallbackSinkFactory<decltype(make)>(make);
    factory->AddRef();
    ASSERT_EQ(S_OK, graph_->QueryInterface(platform::IID_IGraphRendering,
                                           rendering_.ReleaseAndGetVoidAddressOf()));
    rendering_->SetRenderSinkFactory(factory);
    factory->Release();
    const std::u16string widePath(path.begin(), path.end());
    ASSERT_EQ(S_OK, graph_->RenderFile(widePath.c_str(), nullptr));
    ASSERT_TRUE(decoderOutput_) << "the decoder did not come between splitter and renderer";
    graph_->QueryInterface(IID_IMediaControl, control_.ReleaseAndGetVoidAddressOf());
    graph_->QueryInterface(IID_IMediaEvent, events_.ReleaseAndGetVoidAddressOf());
  }

  void PauseAndWait() {
    control_->Pause();
    OAFilterState state = -1;
    ASSERT_EQ(S_OK, control_->GetState(kPatienceMs, &state));
    EXPECT_EQ(State_Paused, state);
  }

  void RunToCompletion() {
    EXPECT_TRUE(SUCCEEDED(control_->Run()));
    LONG code = 0;
    EXPECT_EQ(S_OK, events_->WaitForCompletion(kPatienceMs, &code));
    EXPECT_EQ(EC_COMPLETE, code);
  }

  void Release() {
    if (recordingSink_ != nullptr) recordingSink_->Input()->offeredAllocator.Reset();
    if (control_) control_->Stop();
    if (rendering_) rendering_->SetRenderSinkFactory(nullptr);
    decoderOutput_.Reset();
    events_.Reset();
    control_.Reset();
    rendering_.Reset();
    graph_.Reset();
    recordingSink_ = nullptr;
    recordingHolder_.Reset();
  }

  HMODULE splitter_ = nullptr;
  HMODULE decoder_ = nullptr;
  RecordingRenderObserver video_;
  CComHolder<IGraphBuilder> graph_;
  CComHolder<platform::IGraphRendering> rendering_;
  CComHolder<IMediaControl> control_;
  CComHolder<IMediaEvent> events_;
  CComHolder<IPin> decoderOutput_;
  CComHolder<IBaseFilter> recordingHolder_;       // counted; empty while the renderer is used
  RecordingSinkFilter* recordingSink_ = nullptr;  // not counted: recordingHolder_ keeps it
  std::vector<std::string> written_;              // movie files to remove
};

// The picture after frames first..last decoded by the bare library from
// empty books, as after a flush.
std::vector<BYTE> BarePicture(const Movie& movie, size_t first, size_t last) {
  std::vector<BYTE> pixels(kWidth * kHeight * 4, 0);
  tessaly::cinepak::CCodebooks books;
  const tessaly::cinepak::PictureView view{
      pixels.data(), kWidth, kHeight, kWidth * 4, tessaly::cinepak::PixelLayout::Bgrx32, true};
  for (size_t index = first; index <= last; ++index) {
    const std::vector<uint8_t>& frame = movie.frames[index];
    EXPECT_EQ(tessaly::cinepak::DecodeStatus::kOk,
              tessaly::cinepak::DecodeFrame(frame.data(), frame.size(), books, view));
  }
  return pixels;
}

std::vector<BYTE> FirstPicture(const Movie& movie) { return BarePicture(movie, 0, 0); }

TEST_F(DecoderGraphTest, RenderFileHoldsTheFirstPictureAndPlaysEveryFrameToCompletion) {
  const Movie movie = WriteMovie("plays", 30);
  Render(movie.path);
  for (int cycle = 0; cycle < 4; ++cycle) {
    SCOPED_TRACE("cycle " + std::to_string(cycle));
    video_.presented = 0;
    PauseAndWait();
    EXPECT_EQ(FirstPicture(movie), video_.Held());
    if (cycle % 2 == 0) {
      // The renderer holds a picture and the splitter waits in our Receive.
      EXPECT_EQ(S_OK, control_->Stop());
      continue;
    }
    RunToCompletion();
    EXPECT_EQ(30, video_.presented.load());
    EXPECT_EQ(S_OK, control_->Stop());
  }
  Release();
}

TEST_F(DecoderGraphTest, ASeekWhilePausedShowsTheFrameAskedForBuiltOnItsKeyFrame) {
  const Movie movie = WriteMovie("seeks", 30);
  Render(movie.path);
  PauseAndWait();
  CComHolder<IMediaSeeking> seeking;
  ASSERT_EQ(S_OK, graph_->QueryInterface(IID_IMediaSeeking, seeking.ReleaseAndGetVoidAddressOf()));
  // Frames last 1/600 s; each target lies inside its frame. Key frames are
  // every sixth, so the frames from the key frame up to the target go
  // through the decoder as preroll and only the target reaches the renderer.
  for (size_t target : {9u, 14u, 3u, 12u, 29u}) {
    SCOPED_TRACE("frame " + std::to_string(target));
    LONGLONG position = static_cast<LONGLONG>(target) * 10000000 / 600 + 100;
    ASSERT_EQ(S_OK, seeking->SetPositions(&position, AM_SEEKING_AbsolutePositioning, nullptr,
                                          AM_SEEKING_NoPositioning));
    OAFilterState state = -1;
    ASSERT_EQ(S_OK, control_->GetState(kPatienceMs, &state));
    EXPECT_EQ(BarePicture(movie, target / 6 * 6, target), video_.Held());
  }
  seeking.Reset();
  Release();
}

TEST_F(DecoderGraphTest, DamagedFramesArriveMarkedAndNothingBreaks) {
  const std::vector<uint8_t> truncated = {0x00, 0x00, 0x00, 0x0A, 0x00,
                                          0x40, 0x00, 0x30, 0x00, 0x01};
  std::vector<uint8_t> wrongSize = {0x00, 0x00, 0x00, 0x0A, 0xFF, 0xFF, 0x7F, 0xFF, 0x00, 0x00};
  std::vector<uint8_t> manyStrips = {0x00, 0x00, 0x00, 0x0A, 0x00, 0x40, 0x00, 0x30, 0xFF, 0xFF};
  std::vector<uint8_t> badStrip = {0x00, 0x00, 0x00, 0x20, 0x00, 0x40, 0x00, 0x30,
                                   0x00, 0x01, 0x10, 0x00, 0xFF, 0xFF, 0x00, 0x00,
                                   0x00, 0x00, 0x80, 0x00, 0x00, 0x30, 0x00, 0x40};
  std::vector<uint8_t> noise(300);
  for (size_t index = 0; index < noise.size(); ++index)
    noise[index] = static_cast<uint8_t>(index * 97);
  const Movie movie = WriteMovie(
      "damaged", 18, {{2, truncated}, {3, wrongSize}, {7, manyStrips}, {9, badStrip}, {13, noise}});
  Render(movie.path);
  PauseAndWait();
  RunToCompletion();
  EXPECT_EQ(18, video_.presented.load());
  // The first picture of a run, and each of the five damaged frames.
  EXPECT_GE(video_.discontinuities.load(), 6);
  Release();
}

TEST_F(DecoderGraphTest, StopWhileFramesAreInFlightReturnsAndTheNextRunStartsOver) {
  const Movie movie = WriteMovie("stops", 120);
  Render(movie.path);
  for (int cycle = 0; cycle < 8; ++cycle) {
    // No wait between Run and Stop: wherever the frame in flight is, Stop
    // must return and leave a graph that pauses on the first picture again.
    EXPECT_TRUE(SUCCEEDED(control_->Run()));
    EXPECT_EQ(S_OK, control_->Stop());
    PauseAndWait();
    EXPECT_EQ(FirstPicture(movie), video_.Held());
    EXPECT_EQ(S_OK, control_->Stop());
  }
  Release();
}

// The sink's allocator, around the platform's: a test may have it hand out
// a buffer with another type attached, as a renderer does that changes the
// stride or the row order, and wait until a buffer is asked for. The test
// keeps the one reference that is left when the graph is gone.
CComHolder<TypeAttachingAllocator> SinkAllocator() {
  CComHolder<IMemAllocator> platformAllocator;
  EXPECT_EQ(S_OK,
            CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER,
                             IID_IMemAllocator, platformAllocator.ReleaseAndGetVoidAddressOf()));
  return CComHolder<TypeAttachingAllocator>(new TypeAttachingAllocator(platformAllocator.Get()));
}

// True when the holder's reference was the allocator's last.
bool WasTheLastReference(CComHolder<TypeAttachingAllocator>& allocator) {
  return allocator.Detach()->Release() == 0;
}

TEST_F(DecoderGraphTest, StopWhileAFrameWaitsForABufferReturnsAndSendsNothingMore) {
  const Movie movie = WriteMovie("waits", 12);
  CComHolder<TypeAttachingAllocator> allocator = SinkAllocator();
  RecordingSinkFilter* sink = RecordInto(allocator.Get());
  // One buffer, kept by the sink as a renderer keeps its picture: the next
  // frame's delivery waits in GetBuffer for as long as the sink keeps it.
  sink->Input()->KeepSamples(true);
  sink->Input()->requirements = ALLOCATOR_PROPERTIES{1, 0, 1, 0};
  Render(movie.path);
  PIN_INFO info = {};
  ASSERT_EQ(S_OK, decoderOutput_->QueryPinInfo(&info));
  CComHolder<IBaseFilter> decoder(info.pFilter);
  info.pFilter->Release();
  EXPECT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(sink->Input()->WaitForReceived(1));
  // The second frame is decoded and its delivery asks for the kept buffer.
  ASSERT_TRUE(allocator->WaitForRequest(2));
  // The decoder alone, first: its Stop must free the frame waiting there.
  EXPECT_EQ(S_OK, decoder->Stop());
  EXPECT_EQ(1u, sink->Input()->Received().size());
  sink->Input()->DropKept();
  EXPECT_EQ(S_OK, control_->Stop());
  EXPECT_EQ(1u, sink->Input()->Received().size());
  decoder.Reset();
  Release();
  EXPECT_TRUE(WasTheLastReference(allocator));
}

TEST_F(DecoderGraphTest, ATypeTheRendererAttachesToABufferIsFollowedFromThatFrameOn) {
  const Movie movie = WriteMovie("retypes", 4);
  // Top-down rows of 100 pixels: the stride and the row order both change.
  constexpr LONG kRowPixels = 100;
  VideoType wider(MEDIASUBTYPE_RGB32, 32, BI_RGB, kRowPixels, -static_cast<LONG>(kHeight));
  wider.Info()->bmiHeader.biSizeImage = kRowPixels * 4 * kHeight;
  wider.Info()->rcSource = wider.Info()->rcTarget = RECT{0, 0, kWidth, kHeight};
  CComHolder<TypeAttachingAllocator> allocator = SinkAllocator();
  allocator->AttachType(2, *wider.Get());
  allocator->GrowBuffersTo(kRowPixels * 4 * kHeight);
  RecordingSinkFilter* sink = RecordInto(allocator.Get());
  Render(movie.path);
  EXPECT_TRUE(SUCCEEDED(control_->Run()));
  ASSERT_TRUE(sink->Input()->WaitForEndOfStream());
  const std::vector<ReceivedSample> received = sink->Input()->Received();
  ASSERT_EQ(4u, received.size());
  EXPECT_FALSE(received[0].typeChanged);
  EXPECT_TRUE(received[1].typeChanged);
  // Frame 1 in the new layout: row y of the picture at y × stride.
  const std::vector<BYTE> bottomUp = BarePicture(movie, 0, 1);
  ASSERT_EQ(static_cast<size_t>(kRowPixels * 4 * kHeight), received[1].bytes.size());
  for (uint32_t y = 0; y < kHeight; ++y) {
    const BYTE* expected = bottomUp.data() + (kHeight - 1 - y) * kWidth * 4;
    const BYTE* row = received[1].bytes.data() + y * kRowPixels * 4;
    ASSERT_TRUE(std::equal(expected, expected + kWidth * 4, row)) << "row " << y;
  }
  // The connection's type is the new one now.
  AM_MEDIA_TYPE connected = {};
  ASSERT_EQ(S_OK, decoderOutput_->ConnectionMediaType(&connected));
  EXPECT_EQ(-static_cast<LONG>(kHeight),
            reinterpret_cast<VIDEOINFOHEADER*>(connected.pbFormat)->bmiHeader.biHeight);
  CoTaskMemFree(connected.pbFormat);
  Release();
  EXPECT_TRUE(WasTheLastReference(allocator));
}

// The install-time choice "FILM only", as the installer writes it.
void SetFilmOnly(bool on) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{EF35C655-4789-4C17-81F6-4E7C19F39BEB}", 0,
                          KEY_WRITE, &key));
  const DWORD one = 1;
  if (on) {
    RegSetValueExA(key, "FilmOnly", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4);
  } else {
    RegDeleteValueA(key, "FilmOnly");
  }
  RegCloseKey(key);
}

TEST_F(DecoderGraphTest, FilmOnlyTakesCinepakFromTheSplitterAndFromNoOtherFilter) {
  SetFilmOnly(true);
  const Movie movie = WriteMovie("filmonly", 6);
  Render(movie.path);
  PauseAndWait();
  EXPECT_EQ(FirstPicture(movie), video_.Held());
  Release();

  // Any other upstream filter offering the same 'cvid' type.
  auto* source = new TestSourceFilter();
  CComHolder<IBaseFilter> sourceHolder(static_cast<IBaseFilter*>(source));
  CComHolder<IBaseFilter> decoder;
  ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TessalyCinepakDecoder, nullptr, CLSCTX_INPROC_SERVER,
                                   IID_IBaseFilter, decoder.ReleaseAndGetVoidAddressOf()));
  CComHolder<IEnumPins> pins;
  ASSERT_EQ(S_OK, decoder->EnumPins(pins.ReleaseAndGetAddressOf()));
  CComHolder<IPin> input;
  ASSERT_EQ(S_OK, pins->Next(1, input.ReleaseAndGetAddressOf(), nullptr));
  constexpr DWORD kCvid = MAKEFOURCC('c', 'v', 'i', 'd');
  VideoType cinepak(SubtypeFromFourCC(kCvid), 24, kCvid, 64, 48);
  IPin* out = static_cast<IPin*>(source->Output());
  EXPECT_TRUE(FAILED(out->Connect(input.Get(), cinepak.Get())));
  SetFilmOnly(false);
  EXPECT_EQ(S_OK, out->Connect(input.Get(), cinepak.Get()));
  out->Disconnect();
  input->Disconnect();
  input.Reset();
  pins.Reset();
  decoder.Reset();
}

// One row of the output pin's type table.
struct OutputTypeRow {
  const char* name;
  const GUID* subtype;
  WORD bitCount;
  DWORD compression;
  LONG width;   // the row in pixels; a renderer's stride may make it wider
  LONG height;  // negative: top-down
  bool masks565;
  HRESULT expected;
};

TEST_F(DecoderGraphTest, OutputPinTakesTheTypesOfItsTableAndOffersThemAll) {
  const Movie movie = WriteMovie("types", 6);
  Render(movie.path);
  constexpr DWORD kYuy2 = MAKEFOURCC('Y', 'U', 'Y', '2');
  constexpr DWORD kUyvy = MAKEFOURCC('U', 'Y', 'V', 'Y');
  const OutputTypeRow rows[] = {
      {"rgb32 bottom-up", &MEDIASUBTYPE_RGB32, 32, BI_RGB, 64, 48, false, S_OK},
      {"rgb32 top-down", &MEDIASUBTYPE_RGB32, 32, BI_RGB, 64, -48, false, S_OK},
      {"rgb32 renderer stride", &MEDIASUBTYPE_RGB32, 32, BI_RGB, 128, -48, false, S_OK},
      {"rgb24", &MEDIASUBTYPE_RGB24, 24, BI_RGB, 64, 48, false, S_OK},
      {"rgb565 with masks", &MEDIASUBTYPE_RGB565, 16, BI_BITFIELDS, 64, 48, true, S_OK},
      {"rgb565 without masks", &MEDIASUBTYPE_RGB565, 16, BI_BITFIELDS, 64, 48, false, S_FALSE},
      {"rgb555", &MEDIASUBTYPE_RGB555, 16, BI_RGB, 64, -48, false, S_OK},
      {"yuy2", &MEDIASUBTYPE_YUY2, 16, kYuy2, 64, 48, false, S_OK},
      {"uyvy", &MEDIASUBTYPE_UYVY, 16, kUyvy, 64, -48, false, S_OK},
      {"narrower than the picture", &MEDIASUBTYPE_RGB32, 32, BI_RGB, 32, 48, false, S_FALSE},
      {"another height", &MEDIASUBTYPE_RGB32, 32, BI_RGB, 64, 96, false, S_FALSE},
      {"depth not the subtype's", &MEDIASUBTYPE_RGB32, 24, BI_RGB, 64, 48, false, S_FALSE},
      {"fourcc not the subtype's", &MEDIASUBTYPE_YUY2, 16, kUyvy, 64, 48, false, S_FALSE},
      {"absurd row", &MEDIASUBTYPE_RGB32, 32, BI_RGB, 0x7FFFFFFF, 48, false, S_FALSE},
      {"still cinepak", &MEDIASUBTYPE_PCM, 32, BI_RGB, 64, 48, false, S_FALSE},
  };
  for (const OutputTypeRow& row : rows) {
    SCOPED_TRACE(row.name);
    VideoType type(*row.subtype, row.bitCount, row.compression, row.width, row.height,
                   row.masks565);
    EXPECT_EQ(row.expected, decoderOutput_->QueryAccept(type.Get()));
  }
  // Every type offered is one the pin accepts.
  CComHolder<IEnumMediaTypes> types;
  ASSERT_EQ(S_OK, decoderOutput_->EnumMediaTypes(types.ReleaseAndGetAddressOf()));
  AM_MEDIA_TYPE* offered = nullptr;
  int count = 0;
  while (types->Next(1, &offered, nullptr) == S_OK) {
    EXPECT_EQ(S_OK, decoderOutput_->QueryAccept(offered));
    CoTaskMemFree(offered->pbFormat);
    CoTaskMemFree(offered);
    ++count;
  }
  EXPECT_EQ(6, count);
  types.Reset();
  Release();
}

}  // namespace
