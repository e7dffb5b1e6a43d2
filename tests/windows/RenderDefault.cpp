#include "RenderDefault.h"

#include <windows.h>

#include <control.h>
#include <strmif.h>

// The format headers need the streaming types first.
#include <amvideo.h>
#include <dvdmedia.h>
#include <evcode.h>
#include <uuids.h>
#include <vfw.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "CComRef.h"
#include "FilmShapes.h"
#include "GraphInspection.h"
#include "PlaybackScenarios.h"
#include "cinepak/CFrameDecoder.h"
#include "filmwriter/CinepakKeyFrame.h"

namespace {

// Twelve frames at 15 a second play in under a second; a graph that has not
// ended long after that is stuck.
constexpr LONG kCompletionBoundMs = 20000;
constexpr DWORD kUyvy = mmioFOURCC('U', 'Y', 'V', 'Y');
constexpr uint8_t kGuardByte = 0xA5;
// The frame a paused player seeks to; every frame of the movie is a key frame.
constexpr int kHeldFrame = 7;
constexpr LONG kPausedBoundMs = 20000;
constexpr DWORD kImagePollMs = 10;

BITMAPINFOHEADER PictureHeader(WORD bitCount, DWORD compression) {
  BITMAPINFOHEADER header{};
  header.biSize = sizeof(header);
  header.biWidth = static_cast<LONG>(kRenderWidth);
  header.biHeight = static_cast<LONG>(kRenderHeight);
  header.biPlanes = 1;
  header.biBitCount = bitCount;
  header.biCompression = compression;
  header.biSizeImage = compression == BI_RGB || compression == kUyvy
                           ? kRenderWidth * kRenderHeight * bitCount / 8
                           : 0;
  return header;
}

// Decodes the movie's first frame into a buffer of the output's image size
// followed by a guard as large again, the decoder begun with `begun`;
// returns how many guard bytes the decoder changed, or -1 when it refused.
long DecodeIntoGuardedBuffer(HIC codec, BITMAPINFOHEADER* input, BITMAPINFOHEADER* begun,
                             BITMAPINFOHEADER* output, std::vector<uint8_t>* picture) {
  std::vector<uint8_t> frame =
      filmwriter::CinepakKeyFrame::GreyPattern(kRenderWidth, kRenderHeight, 0).Encode();
  input->biSizeImage = static_cast<DWORD>(frame.size());
  picture->assign(2 * size_t{output->biSizeImage}, kGuardByte);
  if (ICDecompressBegin(codec, input, begun) != ICERR_OK) {
    return -1;
  }
  const DWORD answer = ICDecompress(codec, 0, input, frame.data(), output, picture->data());
  ICDecompressEnd(codec);
  if (answer != ICERR_OK) {
    return -1;
  }
  long changed = 0;
  for (size_t i = output->biSizeImage; i < picture->size(); ++i) {
    changed += (*picture)[i] != kGuardByte ? 1 : 0;
  }
  return changed;
}

std::string FourCcText(DWORD code) {
  std::string text;
  for (int i = 0; i < 4; ++i) {
    const char c = static_cast<char>(code >> (8 * i));
    text += c >= 0x20 && c < 0x7F ? c : '?';
  }
  return text;
}

// A video subtype made from a FourCC carries it in its first field.
std::string SubtypeText(const GUID& subtype) {
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB24)) return "RGB24";
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB32)) return "RGB32";
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB565)) return "RGB565";
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB555)) return "RGB555";
  if (IsEqualGUID(subtype, MEDIASUBTYPE_RGB8)) return "RGB8";
  GUID base = subtype;
  base.Data1 = 0;
  GUID fourCcBase = MEDIASUBTYPE_YUY2;
  fourCcBase.Data1 = 0;
  if (IsEqualGUID(base, fourCcBase)) return "'" + FourCcText(subtype.Data1) + "'";
  return GuidText(subtype);
}

std::string TypeText(const AM_MEDIA_TYPE& type) {
  std::string text = IsEqualGUID(type.majortype, MEDIATYPE_Video)    ? "video"
                     : IsEqualGUID(type.majortype, MEDIATYPE_Stream) ? "stream"
                                                                     : GuidText(type.majortype);
  text += " " + SubtypeText(type.subtype) + ", sample size " + std::to_string(type.lSampleSize);
  const BITMAPINFOHEADER* header = nullptr;
  if (IsEqualGUID(type.formattype, FORMAT_VideoInfo) && type.cbFormat >= sizeof(VIDEOINFOHEADER)) {
    header = &reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
  } else if (IsEqualGUID(type.formattype, FORMAT_VideoInfo2) &&
             type.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
    header = &reinterpret_cast<const VIDEOINFOHEADER2*>(type.pbFormat)->bmiHeader;
    text += ", VIDEOINFOHEADER2";
  }
  if (header != nullptr) {
    const std::string compression =
        header->biCompression == BI_RGB ? "BI_RGB" : "'" + FourCcText(header->biCompression) + "'";
    text += ", " + std::to_string(header->biWidth) + "x" + std::to_string(header->biHeight) + " " +
            std::to_string(header->biBitCount) + "-bit " + compression + ", image size " +
            std::to_string(header->biSizeImage);
  }
  return text;
}

std::string PinName(IPin* pin) {
  PIN_INFO info = {};
  if (FAILED(pin->QueryPinInfo(&info))) {
    return "?";
  }
  const std::string name = "\"" +
                           (info.pFilter != nullptr ? FilterName(info.pFilter) : std::string("?")) +
                           "\" " + Narrow(info.achName);
  if (info.pFilter != nullptr) {
    info.pFilter->Release();
  }
  return name;
}

// Every filter, and each connection from its outputs with the media type
// both ends agreed on.
void ReportGraph(CTestReport* report, IGraphBuilder* graph) {
  CComRef<IEnumFilters> filters;
  if (FAILED(graph->EnumFilters(filters.Out()))) {
    return;
  }
  CComRef<IBaseFilter> filter;
  while (filters->Next(1, filter.Out(), nullptr) == S_OK) {
    CLSID clsid = GUID_NULL;
    filter->GetClassID(&clsid);
    report->Note("filter \"" + FilterName(filter.Get()) + "\" " + GuidText(clsid));
    CComRef<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.Out()))) {
      continue;
    }
    CComRef<IPin> pin;
    while (pins->Next(1, pin.Out(), nullptr) == S_OK) {
      PIN_DIRECTION direction;
      CComRef<IPin> peer;
      AM_MEDIA_TYPE type = {};
      if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT ||
          pin->ConnectedTo(peer.Out()) != S_OK || FAILED(pin->ConnectionMediaType(&type))) {
        continue;
      }
      report->Note("  " + PinName(pin.Get()) + " -> " + PinName(peer.Get()) + ": " +
                   TypeText(type));
      FreeMediaType(&type);
    }
  }
}

std::string OverrunText(long overrun) {
  if (overrun < 0) {
    return "refused";
  }
  return std::to_string(overrun) + " bytes written past the 'UYVY' picture's " +
         std::to_string(kRenderWidth * kRenderHeight * 2) + " bytes";
}

}  // namespace

int ProbeCinepakDecoder(CTestReport* report) {
  HIC codec = ICOpen(ICTYPE_VIDEO, mmioFOURCC('c', 'v', 'i', 'd'), ICMODE_DECOMPRESS);
  if (codec == nullptr) {
    report->Note("codec: no Cinepak decompressor");
    return 1;
  }
  // The input as the FILM splitter's video output describes it.
  BITMAPINFOHEADER input = PictureHeader(24, mmioFOURCC('c', 'v', 'i', 'd'));
  BITMAPINFOHEADER uyvy = PictureHeader(16, kUyvy);
  const LRESULT query = ICDecompressQuery(codec, &input, &uyvy);
  report->Note("codec: asked for 160x120 'UYVY' (" + std::to_string(uyvy.biSizeImage) +
               " bytes), it answers " + std::to_string(static_cast<long>(query)) +
               (query == ICERR_OK ? " (ICERR_OK: accepted)" : " (refused)"));
  // The format the decoder suggests, which a decompressor filter offers
  // first; the renderer may then choose another.
  // Room for a palette, should the decoder add one.
  struct {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
  } format{};
  const LRESULT got = ICDecompressGetFormat(codec, &input, &format);
  BITMAPINFOHEADER& suggested = format.header;
  report->Note("codec: the format it suggests: " + std::to_string(suggested.biBitCount) + "-bit " +
               (suggested.biCompression == BI_RGB
                    ? std::string("BI_RGB")
                    : "'" + FourCcText(suggested.biCompression) + "'") +
               " (" + std::to_string(static_cast<long>(got)) + ")");
  std::vector<uint8_t> picture;
  const long consistent = DecodeIntoGuardedBuffer(codec, &input, &uyvy, &uyvy, &picture);
  const long mixed = DecodeIntoGuardedBuffer(codec, &input, &suggested, &uyvy, &picture);
  ICClose(codec);
  report->Note("codec: begun and run with 'UYVY': " + OverrunText(consistent));
  report->Note("codec: begun with the suggested format, run with 'UYVY': " + OverrunText(mixed));
  return consistent > 0 || mixed > 0 ? 4 : 0;
}

// Our decoder's picture of a movie frame, in the bitmap order the renderer's
// image comes in: bottom-up rows of blue, green, red and a spare byte.
std::vector<uint8_t> ExpectedPicture(int frame) {
  const std::vector<uint8_t> bytes = filmwriter::CinepakKeyFrame::GreyPattern(
                                         kRenderWidth, kRenderHeight, static_cast<uint32_t>(frame))
                                         .Encode();
  std::vector<uint8_t> pixels(size_t{kRenderWidth} * kRenderHeight * 4);
  tessaly::cinepak::CCodebooks codebooks;
  tessaly::cinepak::PictureView view{pixels.data(),
                                     kRenderWidth,
                                     kRenderHeight,
                                     size_t{kRenderWidth} * 4,
                                     tessaly::cinepak::PixelLayout::Bgrx32,
                                     true};
  tessaly::cinepak::DecodeFrame(bytes.data(), bytes.size(), codebooks, view);
  return pixels;
}

// How many pixels of the renderer's image (a packed bitmap: its header,
// then rows) differ from our decoder's picture in blue, green or red; -1
// when the image is not a 32- or 24-bit picture of the movie's size.
long DifferingPixels(const std::vector<uint8_t>& image, const std::vector<uint8_t>& expected) {
  if (image.size() < sizeof(BITMAPINFOHEADER)) return -1;
  BITMAPINFOHEADER header{};
  std::memcpy(&header, image.data(), sizeof(header));
  const long height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
  const size_t bytesPerPixel = header.biBitCount / 8;
  if (header.biCompression != BI_RGB || (bytesPerPixel != 3 && bytesPerPixel != 4) ||
      header.biWidth != static_cast<LONG>(kRenderWidth) || height != long{kRenderHeight}) {
    return -1;
  }
  const size_t stride = (kRenderWidth * bytesPerPixel + 3) & ~size_t{3};
  const size_t offset = header.biSize;
  if (image.size() < offset + stride * kRenderHeight) return -1;
  // Wine's renderer hands its rows top-down under a header that says
  // bottom-up; the grabber scenarios check the row order our decoder
  // writes, so here either order is taken, the closer one counted.
  long differing[2] = {0, 0};
  for (uint32_t y = 0; y < kRenderHeight; ++y) {
    const uint8_t* want = expected.data() + size_t{kRenderWidth} * 4 * y;
    for (int flip = 0; flip < 2; ++flip) {
      const uint32_t row = flip != 0 ? kRenderHeight - 1 - y : y;
      const uint8_t* got = image.data() + offset + stride * row;
      for (uint32_t x = 0; x < kRenderWidth; ++x) {
        differing[flip] += std::memcmp(got + x * bytesPerPixel, want + x * 4, 3) != 0 ? 1 : 0;
      }
    }
  }
  return std::min(differing[0], differing[1]);
}

// A paused player seeks, as one does to show a still: the graph pauses, the
// seek completes while paused, and the picture the renderer holds is the
// frame asked for, pixel for pixel our decoder's.
bool HeldPictureAfterSeekIsTheFrames(CTestReport* report, IGraphBuilder* graph,
                                     IMediaControl* control) {
  OAFilterState state = State_Stopped;
  HRESULT hr = control->Pause();
  if (!report->Check(SUCCEEDED(hr) && control->GetState(kPausedBoundMs, &state) == S_OK &&
                         state == State_Paused,
                     "render FILM: the graph reaches Paused", HexResult(hr))) {
    return false;
  }
  CComRef<IMediaSeeking> seeking;
  CComRef<IBasicVideo> video;
  graph->QueryInterface(IID_IMediaSeeking, seeking.OutVoid());
  graph->QueryInterface(IID_IBasicVideo, video.OutVoid());
  if (!report->Check(seeking && video, "render FILM: the graph seeks and shows its picture")) {
    return false;
  }
  // Inside the frame, a little after its start.
  LONGLONG target = kHeldFrame * 10000000LL / kRenderFramesPerSecond + 100000;
  hr = seeking->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr,
                             AM_SEEKING_NoPositioning);
  if (!report->Check(SUCCEEDED(hr) && control->GetState(kPausedBoundMs, &state) == S_OK &&
                         state == State_Paused,
                     "render FILM: the paused seek completes", HexResult(hr))) {
    return false;
  }
  // Wine's renderer may say Paused before the flushed-in picture reaches
  // it: ask again, for as long as a Pause may take, until it holds the frame.
  const std::vector<uint8_t> expected = ExpectedPicture(kHeldFrame);
  long differing = -1;
  hr = E_FAIL;
  for (DWORD waited = 0; waited < kPausedBoundMs && differing != 0; waited += kImagePollMs) {
    if (waited > 0) Sleep(kImagePollMs);
    std::vector<uint8_t> image(sizeof(BITMAPINFOHEADER) + 256 +
                               size_t{kRenderWidth} * kRenderHeight * 4);
    // Wine refuses the call that asks for the size alone: room for any
    // picture of the movie's size.
    long size = static_cast<long>(image.size());
    hr = video->GetCurrentImage(&size, reinterpret_cast<long*>(image.data()));
    if (FAILED(hr)) break;
    differing = DifferingPixels(image, expected);
  }
  if (!report->Check(SUCCEEDED(hr), "render FILM: the renderer gives its picture", HexResult(hr))) {
    return false;
  }
  return report->Check(differing == 0,
                       "render FILM: the picture held after the seek is frame " +
                           std::to_string(kHeldFrame) + "'s, pixel for pixel our decoder's",
                       differing < 0 ? std::string("not a picture of the movie's size")
                                     : std::to_string(differing) + " pixels differ");
}

int RenderWithDefaultRenderers(CTestReport* report) {
  FilmShape movie = RenderMovie();
  const std::wstring path = WriteShape(report, movie);
  const std::string label = "FILM";
  if (path.empty()) {
    return 1;
  }
  CComRef<IGraphBuilder> graph;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                graph.OutVoid());
  if (FAILED(hr)) {
    report->Note("render " + label + ": no filter graph, " + HexResult(hr));
    return 1;
  }
  hr = graph->RenderFile(path.c_str(), nullptr);
  report->Note("render " + label + ": RenderFile answered " + HexResult(hr));
  ReportGraph(report, graph.Get());
  if (FAILED(hr)) {
    return 1;
  }
  CComRef<IMediaControl> control;
  CComRef<IMediaEvent> events;
  graph.QueryTo(&control, IID_IMediaControl);
  graph.QueryTo(&events, IID_IMediaEvent);
  if (!control || !events) {
    return 1;
  }
  // Through our decoder the player's first still is checked too; the
  // runtime's own decoder never gets that far in this graph.
  if (GraphHolds(graph.Get(), kTessalyCinepakDecoder) &&
      !HeldPictureAfterSeekIsTheFrames(report, graph.Get(), control.Get())) {
    control->Stop();
    return 6;
  }
  hr = control->Run();
  report->Note("render " + label + ": Run answered " + HexResult(hr));
  if (FAILED(hr)) {
    return 1;
  }
  LONG code = 0;
  hr = events->WaitForCompletion(kCompletionBoundMs, &code);
  const bool completed = hr == S_OK && code == EC_COMPLETE;
  report->Note("render " + label + ": " +
               (completed ? std::string("played to its end (EC_COMPLETE)")
                          : "no end within " + std::to_string(kCompletionBoundMs / 1000) +
                                " s: " + HexResult(hr) + ", event " + std::to_string(code)));
  hr = control->Stop();
  report->Note("render " + label + ": Stop answered " + HexResult(hr));
  return completed ? 0 : 3;
}
