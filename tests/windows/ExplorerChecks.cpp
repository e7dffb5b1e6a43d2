#include "ExplorerChecks.h"

#include <windows.h>

#include <objbase.h>
#include <propsys.h>
#include <shlwapi.h>
#include <shobjidl.h>
#include <strmif.h>
#include <thumbcache.h>
#include <uuids.h>

// The formats' layouts need the streaming types above.
#include <amvideo.h>
#include <mmreg.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "CComRef.h"
#include "GraphInspection.h"
#include "TessalyIdentifiers.h"
#include "cinepak/CCodebooks.h"
#include "cinepak/CFrameDecoder.h"
#include "filmwriter/CinepakStream.h"
#include "filmwriter/FilmWriter.h"
#include "shell/PictureScaling.h"

// The property keys, defined here from the platform's header.
#include <initguid.h>

#include <propkey.h>

namespace {

const WCHAR kProviderClass[] = L"{D66D9E6E-D31C-4060-9FA2-C7D60007C6C4}";
const WCHAR kHandlerClass[] = L"{98138CD2-F344-4E6E-82AA-93E8EB04D3B6}";
const CLSID kProvider = {
    0xD66D9E6E, 0xD31C, 0x4060, {0x9F, 0xA2, 0xC7, 0xD6, 0x00, 0x07, 0xC6, 0xC4}};
const CLSID kHandler = {
    0x98138CD2, 0xF344, 0x4E6E, {0x82, 0xAA, 0x93, 0xE8, 0xEB, 0x04, 0xD3, 0xB6}};
const WCHAR kThumbnailHandlerId[] = L"{e357fccd-a995-4576-b01f-234630154e96}";
const WCHAR kPropertyHandlers[] =
    L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\PropertySystem\\PropertyHandlers\\";
const WCHAR* const kExtensions[] = {L".cpk", L".film"};
constexpr LONGLONG kUnitsPerSecond = 10000000;

struct ExplorerMovie {
  std::string name;
  std::wstring fileName;
  std::vector<uint8_t> bytes;
  bool film = true;      // the handlers read it
  int chosenFrame = -1;  // the frame that stands for it; -1: no picture
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t frameRate = 0;                    // frames per 1000 s
  std::vector<std::vector<uint8_t>> frames;  // the delivered Cinepak frames
};

// frames frames of 60 ticks at 600 a second, a key frame every keyEvery;
// 0.1 s of 16-bit stereo before each when withSound.
ExplorerMovie Movie(const char* name, const WCHAR* fileName, uint32_t width, uint32_t height,
                    int frames, int keyEvery, bool withSound, int chosenFrame) {
  ExplorerMovie movie;
  movie.name = name;
  movie.fileName = fileName;
  movie.width = width;
  movie.height = height;
  movie.chosenFrame = chosenFrame;
  movie.frameRate = frames > 0 ? 10000 : 0;
  filmwriter::FilmFormat format;
  format.width = width;
  format.height = height;
  format.channels = 2;
  format.bitsPerSample = 16;
  filmwriter::FilmWriter writer(format);
  filmwriter::CinepakStream stream(width, height, 38);
  for (int index = 0; index < frames; ++index) {
    if (withSound) {
      writer.AddAudio(std::vector<uint8_t>(8820, 0));
    }
    const bool key = index % keyEvery == 0;
    movie.frames.push_back(stream.NextFrame(key));
    writer.AddVideo(movie.frames.back(), 60, key);
  }
  for (int index = 0; frames == 0 && index < 10; ++index) {
    writer.AddAudio(std::vector<uint8_t>(8820, 0));
  }
  movie.bytes = writer.Build();
  return movie;
}

std::vector<ExplorerMovie> Movies() {
  std::vector<ExplorerMovie> movies;
  // Three seconds: the first key frame at or after 0.3 s is the fifth.
  movies.push_back(Movie("a movie with sound", L"explorer-long.cpk", 160, 120, 30, 4, true, 4));
  // Under a second: its first frame; upright, so that 32 pixels is its height.
  movies.push_back(Movie("a short movie", L"explorer-short.film", 96, 200, 5, 2, false, 0));
  movies.push_back(Movie("a movie of sound only", L"explorer-sound.cpk", 160, 120, 0, 1, true, -1));
  ExplorerMovie cut =
      Movie("a movie cut in its table", L"explorer-cut.cpk", 160, 120, 30, 4, true, -1);
  cut.bytes.resize(56);
  cut.film = false;
  movies.push_back(cut);
  ExplorerMovie text;
  text.name = "a file that is not FILM";
  text.fileName = L"explorer-text.cpk";
  const char words[] = "Not a movie at all, only words in a file named like one.\r\n";
  for (int line = 0; line < 40; ++line) {
    text.bytes.insert(text.bytes.end(), words, words + sizeof(words) - 1);
  }
  text.film = false;
  movies.push_back(text);
  return movies;
}

std::wstring WriteMovie(CTestReport* report, const ExplorerMovie& movie) {
  FILE* file = _wfopen(movie.fileName.c_str(), L"wb");
  const bool written = file != nullptr && std::fwrite(movie.bytes.data(), 1, movie.bytes.size(),
                                                      file) == movie.bytes.size();
  if (file != nullptr) {
    std::fclose(file);
  }
  WCHAR full[MAX_PATH] = {};
  if (!report->Check(
          written && GetFullPathNameW(movie.fileName.c_str(), MAX_PATH, full, nullptr) != 0,
          "explorer: " + movie.name + ": written")) {
    return std::wstring();
  }
  return full;
}

bool SameText(const WCHAR* a, const WCHAR* b) { return lstrcmpiW(a, b) == 0; }

std::wstring DefaultValue(HKEY root, const std::wstring& path) {
  WCHAR value[MAX_PATH] = {};
  DWORD bytes = sizeof(value);
  if (RegGetValueW(root, path.c_str(), nullptr, RRF_RT_REG_SZ, nullptr, value, &bytes) !=
      ERROR_SUCCESS) {
    return std::wstring();
  }
  return value;
}

void CheckFound(CTestReport* report, const std::wstring& decoderPath) {
  for (const WCHAR* extension : kExtensions) {
    const std::string ext = Narrow(extension);
    WCHAR found[64] = {};
    DWORD length = 64;
    HRESULT hr = AssocQueryStringW(0, ASSOCSTR_SHELLEXTENSION, extension, kThumbnailHandlerId,
                                   found, &length);
    report->Check(hr == S_OK && SameText(found, kProviderClass),
                  "explorer: AssocQueryString finds the thumbnail provider for " + ext,
                  HexResult(hr) + " " + Narrow(found));
    const std::wstring handler =
        DefaultValue(HKEY_LOCAL_MACHINE, kPropertyHandlers + std::wstring(extension));
    report->Check(SameText(handler.c_str(), kHandlerClass),
                  "explorer: the PropertyHandlers key names the property handler for " + ext,
                  Narrow(handler.c_str()));
  }
  for (const WCHAR* classId : {kProviderClass, kHandlerClass}) {
    const std::wstring server =
        DefaultValue(HKEY_CLASSES_ROOT, L"CLSID\\" + std::wstring(classId) + L"\\InprocServer32");
    report->Check(
        SameText(server.c_str(), decoderPath.c_str()),
        "explorer: class " + Narrow(classId) + " is served by " + Narrow(decoderPath.c_str()),
        Narrow(server.c_str()));
  }
}

// An object of the class, initialised with the movie's stream as the shell does.
HRESULT OpenWithStream(const CLSID& classId, const std::wstring& path,
                       CComRef<IInitializeWithStream>* object) {
  HRESULT hr = CoCreateInstance(classId, nullptr, CLSCTX_INPROC_SERVER, IID_IInitializeWithStream,
                                object->OutVoid());
  if (FAILED(hr)) {
    return hr;
  }
  CComRef<IStream> stream;
  hr = SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE,
                              FILE_ATTRIBUTE_NORMAL, FALSE, nullptr, stream.Out());
  if (FAILED(hr)) {
    return hr;
  }
  return (*object)->Initialize(stream.Get(), STGM_READ);
}

tessaly::shell::Picture DecodedFrame(const ExplorerMovie& movie) {
  tessaly::shell::Picture picture;
  picture.width = movie.width;
  picture.height = movie.height;
  picture.pixels.reset(new uint8_t[size_t{movie.width} * movie.height * 4]());
  tessaly::cinepak::CCodebooks books;
  tessaly::cinepak::PictureView view;
  view.pixels = picture.pixels.get();
  view.width = movie.width;
  view.height = movie.height;
  view.stride = size_t{movie.width} * 4;
  view.layout = tessaly::cinepak::PixelLayout::Bgrx32;
  const std::vector<uint8_t>& frame = movie.frames[movie.chosenFrame];
  tessaly::cinepak::DecodeFrame(frame.data(), frame.size(), books, view);
  for (size_t at = 3; at < view.stride * movie.height; at += 4) {
    picture.pixels[at] = 0xFF;
  }
  return picture;
}

// The bitmap's pixels, top row first, as the system hands them to anyone who
// draws it, against the expected picture; the first difference in *where.
bool SamePixels(HBITMAP bitmap, const tessaly::shell::Picture& expected, std::string* where) {
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = static_cast<LONG>(expected.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(expected.height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  const size_t length = size_t{expected.width} * expected.height * 4;
  std::vector<uint8_t> got(length);
  HDC screen = GetDC(nullptr);
  const int rows = GetDIBits(screen, bitmap, 0, expected.height, got.data(), &info, DIB_RGB_COLORS);
  ReleaseDC(nullptr, screen);
  if (rows != static_cast<int>(expected.height)) {
    *where = "GetDIBits gave " + std::to_string(rows) + " rows";
    return false;
  }
  for (size_t at = 0; at < length; ++at) {
    if (got[at] != expected.pixels[at]) {
      *where = "pixel " + std::to_string(at / 4) + " byte " + std::to_string(at % 4) + ": " +
               std::to_string(got[at]) + " for " + std::to_string(expected.pixels[at]);
      return false;
    }
  }
  return true;
}

void CheckThumbnail(CTestReport* report, const ExplorerMovie& movie, const std::wstring& path,
                    UINT size) {
  const std::string label = "explorer: " + movie.name + ": thumbnail at " + std::to_string(size);
  CComRef<IInitializeWithStream> object;
  HRESULT hr = OpenWithStream(kProvider, path, &object);
  CComRef<IThumbnailProvider> provider;
  if (SUCCEEDED(hr)) {
    hr = object.QueryTo(&provider, __uuidof(IThumbnailProvider));
  }
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
  if (!report->Check(SUCCEEDED(hr), label + ": the provider takes the stream", HexResult(hr))) {
    return;
  }
  hr = provider->GetThumbnail(size, &bitmap, &alpha);
  if (movie.chosenFrame < 0) {
    report->Check(FAILED(hr) && bitmap == nullptr, label + ": fails, no bitmap", HexResult(hr));
    return;
  }
  DIBSECTION section = {};
  if (!report->Check(hr == S_OK && bitmap != nullptr &&
                         GetObjectW(bitmap, sizeof(section), &section) == sizeof(section),
                     label + ": a bitmap section", HexResult(hr))) {
    return;
  }
  tessaly::shell::Picture expected;
  const tessaly::shell::ScaledSize scaled =
      tessaly::shell::ThumbnailSize(movie.width, movie.height, size);
  tessaly::shell::ScalePicture(DecodedFrame(movie), scaled, &expected);
  const bool shaped = section.dsBm.bmWidth == static_cast<LONG>(scaled.width) &&
                      section.dsBm.bmHeight == static_cast<LONG>(scaled.height) &&
                      section.dsBm.bmBitsPixel == 32 && alpha == WTSAT_RGB;
  report->Check(shaped,
                label + ": " + std::to_string(scaled.width) + "x" + std::to_string(scaled.height) +
                    ", 32 bits, opaque",
                std::to_string(section.dsBm.bmWidth) + "x" + std::to_string(section.dsBm.bmHeight) +
                    " alpha " + std::to_string(alpha));
  std::string where;
  report->Check(
      shaped && SamePixels(bitmap, expected, &where),
      label + ": our decoder's picture of frame " + std::to_string(movie.chosenFrame) + ", scaled",
      where);
  DeleteObject(bitmap);
}

struct SplitterFacts {
  LONGLONG duration = -1;
  LONG width = 0;
  LONG height = 0;
  WAVEFORMATEX wave = {};
  bool audio = false;
  bool video = false;
};

void ReadPinFacts(IPin* pin, SplitterFacts* facts) {
  CComRef<IEnumMediaTypes> types;
  AM_MEDIA_TYPE* type = nullptr;
  if (FAILED(pin->EnumMediaTypes(types.Out())) || types->Next(1, &type, nullptr) != S_OK) {
    return;
  }
  if (IsEqualGUID(type->formattype, FORMAT_VideoInfo) && type->pbFormat != nullptr) {
    const VIDEOINFOHEADER* video = reinterpret_cast<const VIDEOINFOHEADER*>(type->pbFormat);
    facts->width = video->bmiHeader.biWidth;
    facts->height = video->bmiHeader.biHeight;
    facts->video = true;
  } else if (IsEqualGUID(type->formattype, FORMAT_WaveFormatEx) && type->pbFormat != nullptr) {
    facts->wave = *reinterpret_cast<const WAVEFORMATEX*>(type->pbFormat);
    facts->audio = true;
  }
  FreeMediaType(type);
  CoTaskMemFree(type);
  CComRef<IMediaSeeking> seeking;
  if (SUCCEEDED(pin->QueryInterface(IID_IMediaSeeking, seeking.OutVoid()))) {
    seeking->GetDuration(&facts->duration);
  }
}

// The file source and the splitter in a graph, as a player joins them.
bool ReadSplitterFacts(CTestReport* report, const ExplorerMovie& movie, const std::wstring& path,
                       SplitterFacts* facts) {
  CComRef<IGraphBuilder> graph;
  CComRef<IBaseFilter> source;
  CComRef<IBaseFilter> splitter;
  CComRef<IFileSourceFilter> file;
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                graph.OutVoid());
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          source.OutVoid());
  }
  if (SUCCEEDED(hr)) hr = source.QueryTo(&file, IID_IFileSourceFilter);
  if (SUCCEEDED(hr)) hr = file->Load(path.c_str(), nullptr);
  if (SUCCEEDED(hr)) {
    hr = CoCreateInstance(kClsidCpkSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                          splitter.OutVoid());
  }
  if (SUCCEEDED(hr)) hr = graph->AddFilter(source.Get(), L"Source");
  if (SUCCEEDED(hr)) hr = graph->AddFilter(splitter.Get(), L"Splitter");
  if (SUCCEEDED(hr)) {
    hr = graph->ConnectDirect(FirstPin(source.Get(), PINDIR_OUTPUT).Get(),
                              FirstPin(splitter.Get(), PINDIR_INPUT).Get(), nullptr);
  }
  if (!report->Check(SUCCEEDED(hr),
                     "explorer: " + movie.name + ": the splitter reads it in a graph",
                     HexResult(hr))) {
    return false;
  }
  CComRef<IEnumPins> pins;
  CComRef<IPin> pin;
  splitter->EnumPins(pins.Out());
  while (pins->Next(1, pin.Out(), nullptr) == S_OK) {
    PIN_DIRECTION direction = PINDIR_INPUT;
    if (SUCCEEDED(pin->QueryDirection(&direction)) && direction == PINDIR_OUTPUT) {
      ReadPinFacts(pin.Get(), facts);
    }
  }
  pin.Reset();
  pins.Reset();
  graph->RemoveFilter(splitter.Get());
  graph->RemoveFilter(source.Get());
  return true;
}

// The value of key: a number, or -1 when empty.
LONGLONG Number(IPropertyStore* store, const PROPERTYKEY& key) {
  PROPVARIANT value;
  PropVariantInit(&value);
  if (FAILED(store->GetValue(key, &value))) {
    return -2;
  }
  const LONGLONG number = value.vt == VT_UI8   ? static_cast<LONGLONG>(value.uhVal.QuadPart)
                          : value.vt == VT_UI4 ? static_cast<LONGLONG>(value.ulVal)
                                               : -1;
  PropVariantClear(&value);
  return number;
}

void CheckProperties(CTestReport* report, const ExplorerMovie& movie, const std::wstring& path) {
  const std::string label = "explorer: " + movie.name + ": properties";
  CComRef<IInitializeWithStream> object;
  HRESULT hr = OpenWithStream(kHandler, path, &object);
  if (!movie.film) {
    report->Check(FAILED(hr), label + ": the handler refuses it", HexResult(hr));
    return;
  }
  CComRef<IPropertyStore> store;
  if (SUCCEEDED(hr)) hr = object.QueryTo(&store, IID_IPropertyStore);
  SplitterFacts facts;
  if (!report->Check(SUCCEEDED(hr), label + ": the handler takes the stream", HexResult(hr)) ||
      !ReadSplitterFacts(report, movie, path, &facts)) {
    return;
  }
  report->Check(
      facts.duration > 0 && Number(store.Get(), PKEY_Media_Duration) == facts.duration,
      label + ": System.Media.Duration is the splitter's " + std::to_string(facts.duration),
      std::to_string(Number(store.Get(), PKEY_Media_Duration)));
  const bool video =
      Number(store.Get(), PKEY_Video_FrameWidth) == (facts.video ? facts.width : -1) &&
      Number(store.Get(), PKEY_Video_FrameHeight) == (facts.video ? facts.height : -1) &&
      Number(store.Get(), PKEY_Video_FourCC) ==
          (facts.video ? LONGLONG{MAKEFOURCC('c', 'v', 'i', 'd')} : -1) &&
      Number(store.Get(), PKEY_Video_FrameRate) == (facts.video ? LONGLONG{movie.frameRate} : -1);
  report->Check(video, label + ": the picture's size, code and rate as the splitter's video output",
                std::to_string(Number(store.Get(), PKEY_Video_FrameWidth)) + "x" +
                    std::to_string(Number(store.Get(), PKEY_Video_FrameHeight)) + " at " +
                    std::to_string(Number(store.Get(), PKEY_Video_FrameRate)));
  const bool audio =
      Number(store.Get(), PKEY_Audio_SampleRate) ==
          (facts.audio ? facts.wave.nSamplesPerSec : -1) &&
      Number(store.Get(), PKEY_Audio_ChannelCount) == (facts.audio ? facts.wave.nChannels : -1) &&
      Number(store.Get(), PKEY_Audio_SampleSize) == (facts.audio ? facts.wave.wBitsPerSample : -1);
  report->Check(audio,
                label + ": the sound's rate, channels and width as the splitter's audio output");
  PROPVARIANT value;
  PropVariantInit(&value);
  CComRef<IPropertyStoreCapabilities> capabilities;
  const HRESULT set = store->SetValue(PKEY_Media_Duration, value);
  const HRESULT commit = store->Commit();
  hr = store.QueryTo(&capabilities, IID_IPropertyStoreCapabilities);
  report->Check(FAILED(set) && FAILED(commit) && SUCCEEDED(hr) &&
                    capabilities->IsPropertyWritable(PKEY_Media_Duration) == S_FALSE,
                label + ": read-only", HexResult(set) + " " + HexResult(commit));
}

}  // namespace

void CheckExplorerHandlers(CTestReport* report, const std::wstring& decoderPath) {
  CheckFound(report, decoderPath);
  for (const ExplorerMovie& movie : Movies()) {
    const std::wstring path = WriteMovie(report, movie);
    if (path.empty()) {
      continue;
    }
    CheckThumbnail(report, movie, path, 32);
    CheckThumbnail(report, movie, path, 256);
    CheckProperties(report, movie, path);
  }
}

void CheckExplorerHandlersGone(CTestReport* report) {
  for (const WCHAR* extension : kExtensions) {
    const std::string ext = Narrow(extension);
    WCHAR found[64] = {};
    DWORD length = 64;
    const HRESULT hr = AssocQueryStringW(0, ASSOCSTR_SHELLEXTENSION, extension, kThumbnailHandlerId,
                                         found, &length);
    report->Check(FAILED(hr) || !SameText(found, kProviderClass),
                  "explorer: no thumbnail provider of ours for " + ext, Narrow(found));
    HKEY key = nullptr;
    const LONG status =
        RegOpenKeyExW(HKEY_LOCAL_MACHINE, (kPropertyHandlers + std::wstring(extension)).c_str(), 0,
                      KEY_READ, &key);
    if (key != nullptr) {
      RegCloseKey(key);
    }
    report->Check(status == ERROR_FILE_NOT_FOUND, "explorer: no PropertyHandlers key for " + ext);
    const LONG extensionKey = RegOpenKeyExW(HKEY_CLASSES_ROOT, extension, 0, KEY_READ, &key);
    if (extensionKey == ERROR_SUCCESS) {
      RegCloseKey(key);
    }
    report->Check(extensionKey == ERROR_FILE_NOT_FOUND, "explorer: no " + ext + " key left");
  }
}
