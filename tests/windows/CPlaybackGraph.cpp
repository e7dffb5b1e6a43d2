#include "CPlaybackGraph.h"

#include <amvideo.h>
#include <evcode.h>
#include <mmreg.h>
#include <uuids.h>
#include <vfwmsgs.h>

#include <cstring>

#include "GraphInspection.h"
#include "SampleComparison.h"
#include "TessalyIdentifiers.h"

namespace {

// 'cvid' as a FOURCC media subtype.
const GUID kSubtypeCvid = {
    0x64697663, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
constexpr DWORD kFourccCvid = 'c' | ('v' << 8) | ('i' << 16) | ('d' << 24);
constexpr LONG kSampleBufferBytes = 262144;

}  // namespace

CPlaybackGraph::CPlaybackGraph(CTestReport* report, const std::string& label)
    : m_report(report), m_label(label) {}

CPlaybackGraph::~CPlaybackGraph() { Release(); }

bool CPlaybackGraph::CreateGraph(filmwriter::FilmWriter& writer) {
  m_format = writer.Format();
  m_expect = writer.Expect();
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                m_graph.OutVoid());
  if (!m_report->Check(hr == S_OK, m_label + ": the platform's filter graph is created",
                       HexResult(hr))) {
    return false;
  }
  m_graph.QueryTo(&m_control, IID_IMediaControl);
  m_graph.QueryTo(&m_events, IID_IMediaEvent);
  return true;
}

bool CPlaybackGraph::Build(const std::wstring& path, filmwriter::FilmWriter& writer) {
  if (!CreateGraph(writer) || !AddSource(path) || !ConnectSplitter()) {
    return false;
  }

  std::wstring expected;
  if (m_expect.hasAudioOutput) {
    expected = L"Audio";
  }
  if (m_expect.hasVideoOutput) {
    expected += expected.empty() ? L"Video" : L",Video";
  }
  std::wstring names = PinNames(m_splitter.Get(), PINDIR_OUTPUT);
  m_report->Check(names == expected,
                  m_label + ": splitter outputs are \"" + Narrow(expected.c_str()) + "\"",
                  "got \"" + Narrow(names.c_str()) + "\"");

  bool connected = true;
  if (m_expect.hasAudioOutput) {
    connected &=
        AddSink(L"Audio", &m_audioSink, &m_audioHolder) && ConnectOutput(L"Audio", m_audioSink);
  }
  if (m_expect.hasVideoOutput) {
    connected &=
        AddSink(L"Video", &m_videoSink, &m_videoHolder) && ConnectOutput(L"Video", m_videoSink);
  }
  return connected;
}

bool CPlaybackGraph::BuildByRenderFile(const std::wstring& path, filmwriter::FilmWriter& writer) {
  if (!CreateGraph(writer)) {
    return false;
  }
  // Renderers already in the graph come first in the graph's search, so the
  // outputs end here instead of at sound and display devices this machine
  // does not have. Each sink takes only its own major type, so the file's
  // byte stream itself cannot end in one.
  if ((m_expect.hasAudioOutput && !AddSink(L"Audio", &m_audioSink, &m_audioHolder)) ||
      (m_expect.hasVideoOutput && !AddSink(L"Video", &m_videoSink, &m_videoHolder))) {
    return false;
  }
  HRESULT hr = m_graph->RenderFile(path.c_str(), nullptr);
  m_report->Check(hr == S_OK, m_label + ": IGraphBuilder::RenderFile", HexResult(hr));
  m_splitter =
      ListFilters(m_report, m_graph.Get(), kClsidCpkSplitter, CLSID_AsyncReader, &m_source);
  bool chosen = m_report->Check(static_cast<bool>(m_splitter),
                                m_label + ": the graph chose the Tessaly Parser");
  m_report->Check(static_cast<bool>(m_source), m_label + ": the graph chose the async file source");
  if (!chosen || !m_source) {
    return false;
  }
  CComRef<IPin> input = FindPinByName(m_splitter.Get(), L"Input");
  CComRef<IBaseFilter> upstream = PeerFilter(input.Get());
  m_report->Check(SameObject(upstream.Get(), m_source.Get()),
                  m_label + ": the splitter's \"Input\" is connected to the file source");

  bool connected = true;
  const struct {
    const WCHAR* name;
    CRecordingSink* sink;
  } outputs[] = {{L"Audio", m_audioSink}, {L"Video", m_videoSink}};
  for (const auto& output : outputs) {
    if (output.sink == nullptr) {
      continue;
    }
    CComRef<IPin> pin = FindPinByName(m_splitter.Get(), output.name);
    CComRef<IBaseFilter> downstream = PeerFilter(pin.Get());
    bool ours = SameObject(downstream.Get(), static_cast<IBaseFilter*>(output.sink));
    connected &= m_report->Check(
        ours, m_label + ": " + Narrow(output.name) + " output rendered into the sink",
        downstream ? "went to \"" + FilterName(downstream.Get()) + "\"" : "not connected");
    if (ours) {
      CheckConnection(output.name, output.sink);
    }
  }
  return connected;
}

bool CPlaybackGraph::AddSource(const std::wstring& path) {
  HRESULT hr = m_graph->AddSourceFilter(path.c_str(), L"FILM source", m_source.Out());
  if (!m_report->Check(hr == S_OK, m_label + ": IGraphBuilder::AddSourceFilter", HexResult(hr))) {
    return false;
  }
  CLSID clsid = GUID_NULL;
  m_source->GetClassID(&clsid);
  m_report->Check(IsEqualCLSID(clsid, CLSID_AsyncReader),
                  m_label + ": type detection picks the async file source", GuidText(clsid));
  return true;
}

bool CPlaybackGraph::ConnectSplitter() {
  HRESULT hr = CoCreateInstance(kClsidCpkSplitter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                m_splitter.OutVoid());
  if (!m_report->Check(hr == S_OK, m_label + ": CoCreateInstance(CLSID_CpkSplitter)",
                       HexResult(hr))) {
    return false;
  }
  hr = m_graph->AddFilter(m_splitter.Get(), L"Tessaly Parser");
  if (!m_report->Check(hr == S_OK, m_label + ": splitter added to the graph", HexResult(hr))) {
    return false;
  }
  CComRef<IPin> output = FirstPin(m_source.Get(), PINDIR_OUTPUT);
  CComRef<IPin> input = FindPinByName(m_splitter.Get(), L"Input");
  if (!m_report->Check(output && input, m_label + ": source output and splitter \"Input\" found")) {
    return false;
  }
  hr = m_graph->ConnectDirect(output.Get(), input.Get(), nullptr);
  if (!m_report->Check(hr == S_OK, m_label + ": ConnectDirect(source, splitter)", HexResult(hr))) {
    return false;
  }
  AM_MEDIA_TYPE type = {};
  hr = input->ConnectionMediaType(&type);
  bool streamType = hr == S_OK && IsEqualGUID(type.majortype, MEDIATYPE_Stream) &&
                    IsEqualGUID(type.subtype, kSubtypeCpkFilm);
  m_report->Check(streamType, m_label + ": connected as MEDIATYPE_Stream / MEDIASUBTYPE_CpkFilm",
                  HexResult(hr) + " " + GuidText(type.majortype) + " " + GuidText(type.subtype));
  FreeMediaType(&type);
  return true;
}

bool CPlaybackGraph::AddSink(const WCHAR* name, CRecordingSink** sink,
                             CComRef<IBaseFilter>* holder) {
  const bool isAudio = lstrcmpW(name, L"Audio") == 0;
  *sink = new CRecordingSink(&m_gate);
  *holder = CComRef<IBaseFilter>(*sink);
  // The audio sink offers the platform's allocator and asks for a layout the
  // splitter must overrule; the video sink has none, so the splitter makes one.
  (*sink)->Input()->OfferAllocator(isAudio);
  (*sink)->Input()->AskForRequirements(isAudio);
  (*sink)->Input()->AcceptOnly(isAudio ? MEDIATYPE_Audio : MEDIATYPE_Video);
  std::wstring sinkName = std::wstring(name) + L" sink";
  HRESULT hr = m_graph->AddFilter(holder->Get(), sinkName.c_str());
  return m_report->Check(hr == S_OK, m_label + ": " + Narrow(name) + " sink added", HexResult(hr));
}

bool CPlaybackGraph::ConnectOutput(const WCHAR* name, CRecordingSink* sink) {
  CComRef<IPin> output = FindPinByName(m_splitter.Get(), name);
  if (!output) {
    return false;
  }
  HRESULT hr = m_graph->ConnectDirect(output.Get(), static_cast<IPin*>(sink->Input()), nullptr);
  if (!m_report->Check(hr == S_OK, m_label + ": ConnectDirect(" + Narrow(name) + ", sink)",
                       HexResult(hr))) {
    return false;
  }
  CheckConnection(name, sink);
  return true;
}

void CPlaybackGraph::CheckConnection(const WCHAR* name, CRecordingSink* sink) {
  const bool isAudio = lstrcmpW(name, L"Audio") == 0;
  AM_MEDIA_TYPE type = {};
  if (SUCCEEDED(sink->Input()->ConnectionMediaType(&type))) {
    isAudio ? CheckAudioType(type) : CheckVideoType(type);
  }
  FreeMediaType(&type);

  CComRef<IMemAllocator> allocator(sink->Input()->Allocator());
  ALLOCATOR_PROPERTIES actual = {};
  HRESULT hr = allocator ? allocator->GetProperties(&actual) : E_POINTER;
  m_report->Check(hr == S_OK && actual.cBuffers == 1 && actual.cbBuffer == kSampleBufferBytes,
                  m_label + ": " + Narrow(name) + " allocator (" +
                      (isAudio ? "the sink's" : "the splitter's own") +
                      ") holds one 262144-byte buffer",
                  HexResult(hr) + " " + std::to_string(actual.cBuffers) + " x " +
                      std::to_string(actual.cbBuffer));
}

void CPlaybackGraph::CheckAudioType(const AM_MEDIA_TYPE& type) {
  bool ok = IsEqualGUID(type.majortype, MEDIATYPE_Audio) &&
            IsEqualGUID(type.subtype, MEDIASUBTYPE_PCM) &&
            IsEqualGUID(type.formattype, FORMAT_WaveFormatEx) &&
            type.cbFormat >= sizeof(WAVEFORMATEX) && type.pbFormat != nullptr;
  std::string detail;
  if (ok) {
    WAVEFORMATEX format;
    std::memcpy(&format, type.pbFormat, sizeof(format));
    ok = format.wFormatTag == WAVE_FORMAT_PCM && format.nChannels == m_format.channels &&
         format.nSamplesPerSec == m_format.sampleRate &&
         format.wBitsPerSample == m_format.bitsPerSample &&
         format.nBlockAlign == m_expect.blockAlign &&
         format.nAvgBytesPerSec == m_expect.avgBytesPerSec;
    detail = std::to_string(format.nChannels) + " ch, " + std::to_string(format.nSamplesPerSec) +
             " Hz, " + std::to_string(format.wBitsPerSample) + " bits, align " +
             std::to_string(format.nBlockAlign) + ", " + std::to_string(format.nAvgBytesPerSec) +
             " B/s";
  }
  m_report->Check(ok, m_label + ": Audio connects as PCM with the file's WAVEFORMATEX", detail);
}

void CPlaybackGraph::CheckVideoType(const AM_MEDIA_TYPE& type) {
  bool ok = IsEqualGUID(type.majortype, MEDIATYPE_Video) &&
            IsEqualGUID(type.subtype, kSubtypeCvid) &&
            IsEqualGUID(type.formattype, FORMAT_VideoInfo) &&
            type.cbFormat == sizeof(VIDEOINFOHEADER) && type.pbFormat != nullptr;
  std::string detail = GuidText(type.subtype) + " cbFormat " + std::to_string(type.cbFormat);
  if (ok) {
    VIDEOINFOHEADER format;
    std::memcpy(&format, type.pbFormat, sizeof(format));
    ok = format.bmiHeader.biCompression == kFourccCvid &&
         format.bmiHeader.biWidth == static_cast<LONG>(m_format.width) &&
         format.bmiHeader.biHeight == static_cast<LONG>(m_format.height);
    detail += ", " + std::to_string(format.bmiHeader.biWidth) + "x" +
              std::to_string(format.bmiHeader.biHeight);
  }
  m_report->Check(ok, m_label + ": Video connects as 'cvid' with the file's VIDEOINFOHEADER",
                  detail);
}

HRESULT CPlaybackGraph::Run() { return m_control ? m_control->Run() : E_POINTER; }

HRESULT CPlaybackGraph::Stop() { return m_control ? m_control->Stop() : E_POINTER; }

bool CPlaybackGraph::Play(const std::string& what) {
  HRESULT hr = Run();
  if (!m_report->Check(SUCCEEDED(hr), m_label + ": " + what + ": IMediaControl::Run",
                       HexResult(hr))) {
    return false;
  }
  LONG code = 0;
  // Without a time limit: a slow machine must not fail the check; a run
  // that never completes is ended by the script's step timeout.
  hr = m_events ? m_events->WaitForCompletion(static_cast<LONG>(INFINITE), &code) : E_POINTER;
  bool completed = m_report->Check(hr == S_OK && code == EC_COMPLETE,
                                   m_label + ": " + what + ": WaitForCompletion gives EC_COMPLETE",
                                   HexResult(hr) + ", event " + std::to_string(code));
  hr = Stop();
  m_report->Check(hr == S_OK, m_label + ": " + what + ": IMediaControl::Stop", HexResult(hr));
  return completed;
}

void CPlaybackGraph::CheckDelivered(const std::string& what, bool stoppedPartWay) {
  struct Output {
    CRecordingSink* sink;
    filmwriter::Stream stream;
    const char* name;
  };
  const Output outputs[] = {{m_audioSink, filmwriter::Stream::Audio, "audio"},
                            {m_videoSink, filmwriter::Stream::Video, "video"}};
  for (const Output& output : outputs) {
    if (output.sink == nullptr) {
      continue;
    }
    CheckSamples(m_report, m_label + ": " + what + ": " + output.name + " samples",
                 output.sink->Input()->Samples(), SamplesOf(m_expect, output.stream),
                 stoppedPartWay);
    if (!stoppedPartWay) {
      int count = output.sink->Input()->EndOfStreamCount();
      m_report->Check(count == 1, m_label + ": " + what + ": one end-of-stream on " + output.name,
                      std::to_string(count));
    }
  }
}

void CPlaybackGraph::ClearRecords() {
  if (m_audioSink != nullptr) {
    m_audioSink->Input()->ClearRecords();
  }
  if (m_videoSink != nullptr) {
    m_videoSink->Input()->ClearRecords();
  }
}

size_t CPlaybackGraph::RecordedCount(std::string* perOutput) {
  size_t audio = m_audioSink != nullptr ? m_audioSink->Input()->Samples().size() : 0;
  size_t video = m_videoSink != nullptr ? m_videoSink->Input()->Samples().size() : 0;
  *perOutput = "audio " + std::to_string(audio) + " + video " + std::to_string(video);
  return audio + video;
}

void CPlaybackGraph::Release() {
  if (m_control) {
    m_control->Stop();
  }
  m_audioSink = nullptr;
  m_videoSink = nullptr;
  m_audioHolder.Reset();
  m_videoHolder.Reset();
  m_splitter.Reset();
  m_source.Reset();
  m_events.Reset();
  m_control.Reset();
  m_graph.Reset();
}
