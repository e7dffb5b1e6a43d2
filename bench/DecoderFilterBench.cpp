// The Cinepak decoder filter against the bare library, at 320×224 (the size
// of most console movies): frames a second on one core through the filter's
// input pin (a sample per frame, the decode, a buffer from the output's
// allocator, the conversion, the renderer's Receive), and through the
// library alone (the decode, and for YUY2 the same conversion). The filter's
// overhead is the ratio of the two less one, printed as "overhead_percent
// rgb32=... yuy2=..."; the processor is named in the output's first lines.
#include <benchmark/benchmark.h>
#include <platform/Rendering.h>
#include <win/platform.h>

#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "BenchFigures.h"
#include "CinepakMovie.h"
#include "cinepak/CFrameDecoder.h"
#include "cinepak/PictureConversion.h"
#include "com/CComHolder.h"
#include "support/StubOutputPin.h"

namespace {

using cinepakmovie::kHeight;
using cinepakmovie::kKeyFrameEvery;
using cinepakmovie::kWidth;
using cinepakmovie::Movie;
using cinepakmovie::SecondsPerFrame;
using cinepakmovie::ThreadSeconds;

constexpr REFERENCE_TIME kFrameTime = 666667;

// Seconds a frame, by [yuy2], from the last run of each benchmark.
double g_filterSeconds[2] = {0, 0};
double g_bareSeconds[2] = {0, 0};

// {EF35C655-4789-4C17-81F6-4E7C19F39BEB}
constexpr GUID kDecoderClass = {
    0xEF35C655, 0x4789, 0x4C17, {0x81, 0xF6, 0x4E, 0x7C, 0x19, 0xF3, 0x9B, 0xEB}};

// The splitter's side of the input connection, reduced to what a receiving
// pin asks of its connector.
class UpstreamPin final : public StubOutputPin {
 public:
  HRESULT STDMETHODCALLTYPE Disconnect() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE QueryAccept(const AM_MEDIA_TYPE*) override { return S_OK; }
};

void FillVideoInfo(AM_MEDIA_TYPE* type, std::vector<BYTE>* block, const GUID& subtype, WORD bits,
                   DWORD compression) {
  block->assign(sizeof(VIDEOINFOHEADER), 0);
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(block->data());
  info->bmiHeader = {
      sizeof(BITMAPINFOHEADER), kWidth, kHeight, 1, bits, compression, 0, 0, 0, 0, 0};
  std::memset(type, 0, sizeof(*type));
  type->majortype = MEDIATYPE_Video;
  type->subtype = subtype;
  type->formattype = FORMAT_VideoInfo;
  type->cbFormat = static_cast<ULONG>(block->size());
  type->pbFormat = block->data();
}

IPin* FirstPin(IBaseFilter* filter, PIN_DIRECTION wanted) {
  CComHolder<IEnumPins> pins;
  filter->EnumPins(pins.ReleaseAndGetAddressOf());
  IPin* pin = nullptr;
  while (pins->Next(1, &pin, nullptr) == S_OK) {
    PIN_DIRECTION direction = PINDIR_INPUT;
    pin->QueryDirection(&direction);
    if (direction == wanted) return pin;
    pin->Release();
  }
  return nullptr;
}

// The decoder between an upstream stub and the platform's renderer, running
// without a clock, so that the renderer takes each picture at once.
void BM_ThroughFilter(benchmark::State& state) {
  const bool yuy2 = state.range(0) != 0;
  HMODULE module = LoadLibraryA(TESSALY_DECODER_MODULE_PATH);
  auto getClassObject = reinterpret_cast<HRESULT (*)(REFCLSID, REFIID, void**)>(
      reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
  CComHolder<IClassFactory> factory;
  getClassObject(kDecoderClass, IID_IClassFactory, factory.ReleaseAndGetVoidAddressOf());
  CComHolder<IBaseFilter> decoder, renderer;
  factory->CreateInstance(nullptr, IID_IBaseFilter, decoder.ReleaseAndGetVoidAddressOf());
  platform::CreateRenderer(nullptr, renderer.ReleaseAndGetAddressOf());
  UpstreamPin upstream;
  CComHolder<IPin> input(FirstPin(decoder.Get(), PINDIR_INPUT));
  input->Release();  // FirstPin's reference; the holder keeps its own
  CComHolder<IPin> output(FirstPin(decoder.Get(), PINDIR_OUTPUT));
  output->Release();
  CComHolder<IPin> shown(FirstPin(renderer.Get(), PINDIR_INPUT));
  shown->Release();
  AM_MEDIA_TYPE cinepak, picture;
  std::vector<BYTE> cinepakBlock, pictureBlock;
  FillVideoInfo(&cinepak, &cinepakBlock,
                GUID{0x64697663, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}},
                24, 0x64697663);
  if (yuy2) {
    FillVideoInfo(&picture, &pictureBlock, MEDIASUBTYPE_YUY2, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
  } else {
    FillVideoInfo(&picture, &pictureBlock, MEDIASUBTYPE_RGB32, 32, BI_RGB);
  }
  if (input->ReceiveConnection(&upstream, &cinepak) != S_OK ||
      output->Connect(shown.Get(), &picture) != S_OK) {
    state.SkipWithError("the decoder did not connect");
    return;
  }
  CComHolder<IMemInputPin> receiver;
  input->QueryInterface(IID_IMemInputPin, receiver.ReleaseAndGetVoidAddressOf());
  CComHolder<IMemAllocator> frames;
  CoCreateInstance(CLSID_MemoryAllocator, nullptr, CLSCTX_INPROC_SERVER, IID_IMemAllocator,
                   frames.ReleaseAndGetVoidAddressOf());
  ALLOCATOR_PROPERTIES request = {1, 1 << 18, 1, 0}, actual = {};
  frames->SetProperties(&request, &actual);
  frames->Commit();
  receiver->NotifyAllocator(frames.Get(), TRUE);
  renderer->Run(0);
  decoder->Run(0);

  const std::vector<std::vector<uint8_t>>& movie = Movie();
  size_t next = 0;
  REFERENCE_TIME start = 0;
  const double started = ThreadSeconds();
  for (auto _ : state) {
    IMediaSample* sample = nullptr;
    frames->GetBuffer(&sample, nullptr, nullptr, 0);
    BYTE* bytes = nullptr;
    sample->GetPointer(&bytes);
    std::memcpy(bytes, movie[next].data(), movie[next].size());
    sample->SetActualDataLength(static_cast<LONG>(movie[next].size()));
    REFERENCE_TIME stop = start + kFrameTime;
    sample->SetTime(&start, &stop);
    sample->SetSyncPoint(next % kKeyFrameEvery == 0 ? TRUE : FALSE);
    receiver->Receive(sample);
    sample->Release();
    start = stop;
    next = next + 1 == movie.size() ? 0 : next + 1;
  }
  const double perFrame = SecondsPerFrame(state, started);
  benchfigures::Record("filter_frames_per_second", yuy2 ? "yuy2" : "rgb32", 1.0 / perFrame);
  g_filterSeconds[yuy2 ? 1 : 0] = perFrame;
  decoder->Stop();
  renderer->Stop();
  frames->Decommit();
  output->Disconnect();
  shown->Disconnect();
  input->Disconnect();
  receiver.Reset();
  frames.Reset();
  output.Reset();
  input.Reset();
  shown.Reset();
  decoder.Reset();
  renderer.Reset();
  factory.Reset();
  FreeLibrary(module);
}

// The library alone: the decode into its own picture, and for YUY2 the
// conversion into a second buffer, as the filter does.
void BM_BareLibrary(benchmark::State& state) {
  const bool yuy2 = state.range(0) != 0;
  std::vector<uint8_t> pixels(kWidth * kHeight * 4), converted(kWidth * kHeight * 2);
  const tessaly::cinepak::PictureView view{
      pixels.data(), kWidth, kHeight, kWidth * 4, tessaly::cinepak::PixelLayout::Bgrx32, false};
  const tessaly::cinepak::OutputPicture target{
      converted.data(), kWidth, kHeight, kWidth * 2, tessaly::cinepak::OutputLayout::Yuy2, false};
  tessaly::cinepak::CCodebooks books;
  const std::vector<std::vector<uint8_t>>& movie = Movie();
  size_t next = 0;
  const double started = ThreadSeconds();
  for (auto _ : state) {
    tessaly::cinepak::DecodeFrame(movie[next].data(), movie[next].size(), books, view);
    if (yuy2) tessaly::cinepak::ConvertPicture(pixels.data(), kWidth * 4, target);
    benchmark::DoNotOptimize(pixels.data());
    benchmark::DoNotOptimize(converted.data());
    next = next + 1 == movie.size() ? 0 : next + 1;
  }
  const double perFrame = SecondsPerFrame(state, started);
  benchfigures::Record("bare_frames_per_second", yuy2 ? "yuy2" : "rgb32", 1.0 / perFrame);
  g_bareSeconds[yuy2 ? 1 : 0] = perFrame;
}

BENCHMARK(BM_BareLibrary)->Arg(0)->Arg(1);
BENCHMARK(BM_ThroughFilter)->Arg(0)->Arg(1);

}  // namespace

// The processor's name, so that figures from two machines are never compared.
std::string ProcessorName() {
  std::ifstream cpuinfo("/proc/cpuinfo");
  std::string line;
  while (std::getline(cpuinfo, line)) {
    if (line.rfind("model name", 0) == 0) return line.substr(line.find(':') + 2);
  }
  return "unknown";
}

int main(int argc, char** argv) {
  CoInitialize(nullptr);
  benchmark::AddCustomContext("processor", ProcessorName());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  for (int yuy2 = 0; yuy2 < 2; ++yuy2) {
    if (g_bareSeconds[yuy2] > 0 && g_filterSeconds[yuy2] > 0) {
      benchfigures::Record("overhead_percent", yuy2 ? "yuy2" : "rgb32",
                           100.0 * (g_filterSeconds[yuy2] / g_bareSeconds[yuy2] - 1.0));
    }
  }
  benchfigures::Print();
  CoUninitialize();
  return 0;
}
