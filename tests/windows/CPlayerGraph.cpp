#include "CPlayerGraph.h"

#include <amvideo.h>
#include <uuids.h>

#include "GraphInspection.h"
#include "TessalyIdentifiers.h"

CPlayerGraph::CPlayerGraph(CTestReport* report, const std::string& label)
    : m_report(report), m_label(label) {}

CPlayerGraph::~CPlayerGraph() { Release(); }

void CPlayerGraph::Release() {
  if (m_control) {
    m_control->Stop();
  }
  const CComRef<IBaseFilter>* grabbers[] = {&m_videoGrabber, &m_audioGrabber};
  for (const CComRef<IBaseFilter>* grabber : grabbers) {
    CComRef<ISampleGrabber> control;
    if (*grabber && SUCCEEDED(grabber->QueryTo(&control, kIidSampleGrabber))) {
      control->SetCallback(nullptr, 0);
    }
  }
  m_videoGrabber.Reset();
  m_audioGrabber.Reset();
  m_splitter.Reset();
  m_source.Reset();
  m_events.Reset();
  m_control.Reset();
  m_graph.Reset();
}

namespace {

// The splitter's video subtype, FOURCC 'cvid'.
const GUID kSubtypeCinepak = {
    0x64697663, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

}  // namespace

bool CPlayerGraph::Build(const std::wstring& path, bool withAudio, VideoPath videoPath) {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                m_graph.OutVoid());
  if (!m_report->Check(hr == S_OK, m_label + ": player graph created", HexResult(hr))) {
    return false;
  }
  m_graph.QueryTo(&m_control, IID_IMediaControl);
  m_graph.QueryTo(&m_events, IID_IMediaEvent);
  hr = m_graph->AddSourceFilter(path.c_str(), L"FILM source", m_source.Out());
  if (!m_report->Check(hr == S_OK, m_label + ": player graph: AddSourceFilter", HexResult(hr))) {
    return false;
  }
  // A grabber's output has a type to offer only once its input is connected.
  const GUID& subtype = videoPath == VideoPath::Decoded ? MEDIASUBTYPE_RGB24 : kSubtypeCinepak;
  if (!AddGrabber(L"Video grabber", MEDIATYPE_Video, subtype, &m_video, &m_videoGrabber) ||
      !ConnectVideo(videoPath) || !AddRenderer(L"Video renderer", m_videoGrabber.Get())) {
    return false;
  }
  if (!withAudio) {
    return true;
  }
  return AddGrabber(L"Audio grabber", MEDIATYPE_Audio, MEDIASUBTYPE_PCM, &m_audio,
                    &m_audioGrabber) &&
         ConnectAudio() && AddRenderer(L"Audio renderer", m_audioGrabber.Get());
}

bool CPlayerGraph::AddGrabber(const WCHAR* name, const GUID& major, const GUID& sub,
                              CGrabberCallback* callback, CComRef<IBaseFilter>* grabber) {
  const std::string what = m_label + ": " + Narrow(name);
  HRESULT hr = CoCreateInstance(kClsidSampleGrabber, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                grabber->OutVoid());
  if (!m_report->Check(hr == S_OK, what + " created (CLSID_SampleGrabber)", HexResult(hr))) {
    return false;
  }
  CComRef<ISampleGrabber> control;
  hr = grabber->QueryTo(&control, kIidSampleGrabber);
  if (!m_report->Check(hr == S_OK, what + " answers ISampleGrabber", HexResult(hr))) {
    return false;
  }
  AM_MEDIA_TYPE type = {};
  type.majortype = major;
  type.subtype = sub;
  type.formattype = GUID_NULL;
  hr = control->SetMediaType(&type);
  if (SUCCEEDED(hr)) hr = control->SetOneShot(FALSE);
  if (SUCCEEDED(hr)) hr = control->SetBufferSamples(FALSE);
  if (SUCCEEDED(hr)) hr = control->SetCallback(callback, 0);
  if (SUCCEEDED(hr)) hr = m_graph->AddFilter(grabber->Get(), name);
  return m_report->Check(hr == S_OK, what + " set up and added", HexResult(hr));
}

bool CPlayerGraph::AddRenderer(const WCHAR* name, IBaseFilter* grabber) {
  const std::string what = m_label + ": " + Narrow(name);
  CComRef<IBaseFilter> renderer;
  HRESULT hr = CoCreateInstance(kClsidNullRenderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                renderer.OutVoid());
  if (!m_report->Check(hr == S_OK, what + " created (CLSID_NullRenderer)", HexResult(hr))) {
    return false;
  }
  hr = m_graph->AddFilter(renderer.Get(), name);
  if (!m_report->Check(hr == S_OK, what + " added", HexResult(hr))) {
    return false;
  }
  CComRef<IPin> output = FirstPin(grabber, PINDIR_OUTPUT);
  CComRef<IPin> input = FirstPin(renderer.Get(), PINDIR_INPUT);
  hr = output && input ? m_graph->ConnectDirect(output.Get(), input.Get(), nullptr) : E_POINTER;
  return m_report->Check(hr == S_OK, what + " connected after its grabber", HexResult(hr));
}

bool CPlayerGraph::ConnectVideo(VideoPath videoPath) {
  CComRef<IPin> output = FirstPin(m_source.Get(), PINDIR_OUTPUT);
  CComRef<IPin> input = FirstPin(m_videoGrabber.Get(), PINDIR_INPUT);
  HRESULT hr = output && input ? m_graph->Connect(output.Get(), input.Get()) : E_POINTER;
  CComRef<IBaseFilter> decoderFound;
  m_splitter = ListFilters(m_report, m_graph.Get(), kClsidCpkSplitter, CLSID_AVIDec, &decoderFound);
  if (!m_report->Check(hr == S_OK, m_label + ": Connect(source, video grabber)", HexResult(hr))) {
    return false;
  }
  if (!m_report->Check(static_cast<bool>(m_splitter),
                       m_label + ": the graph put the Tessaly Parser in by its check bytes")) {
    return false;
  }
  // Between the splitter's video output and the grabber: the runtime's decompressor.
  CComRef<IPin> video = FindPinByName(m_splitter.Get(), L"Video");
  CComRef<IBaseFilter> decoder = video ? PeerFilter(video.Get()) : CComRef<IBaseFilter>();
  const bool inserted = decoder && !SameObject(decoder.Get(), m_videoGrabber.Get());
  if (videoPath == VideoPath::Compressed) {
    return m_report->Check(decoder && !inserted,
                           m_label + ": the grabber takes 'cvid' straight from the splitter",
                           decoder ? "\"" + FilterName(decoder.Get()) + "\"" : "nothing");
  }
  m_report->Check(inserted, m_label + ": the graph inserted a decompressor for 'cvid'",
                  decoder ? "\"" + FilterName(decoder.Get()) + "\"" : "nothing");
  ReadPictureLayout();
  return inserted;
}

bool CPlayerGraph::ConnectAudio() {
  CComRef<IPin> output = FindPinByName(m_splitter.Get(), L"Audio");
  CComRef<IPin> input = FirstPin(m_audioGrabber.Get(), PINDIR_INPUT);
  HRESULT hr = output && input ? m_graph->Connect(output.Get(), input.Get()) : E_POINTER;
  return m_report->Check(hr == S_OK, m_label + ": Connect(Audio, audio grabber)", HexResult(hr));
}

void CPlayerGraph::ReadPictureLayout() {
  CComRef<ISampleGrabber> control;
  AM_MEDIA_TYPE type = {};
  if (FAILED(m_videoGrabber.QueryTo(&control, kIidSampleGrabber)) ||
      FAILED(control->GetConnectedMediaType(&type))) {
    return;
  }
  const bool rgb24 = IsEqualGUID(type.subtype, MEDIASUBTYPE_RGB24) &&
                     IsEqualGUID(type.formattype, FORMAT_VideoInfo) &&
                     type.cbFormat >= sizeof(VIDEOINFOHEADER) && type.pbFormat != nullptr;
  m_report->Check(rgb24, m_label + ": the grabber takes RGB24 pictures", GuidText(type.subtype));
  if (rgb24) {
    const BITMAPINFOHEADER& header = reinterpret_cast<VIDEOINFOHEADER*>(type.pbFormat)->bmiHeader;
    m_width = header.biWidth;
    m_height = header.biHeight < 0 ? -header.biHeight : header.biHeight;
    m_bottomUp = header.biHeight > 0;
  }
  FreeMediaType(&type);
}

REFERENCE_TIME CPlayerGraph::ClockTime() {
  CComRef<IMediaFilter> filter;
  CComRef<IReferenceClock> clock;
  REFERENCE_TIME now = -1;
  if (SUCCEEDED(m_graph.QueryTo(&filter, IID_IMediaFilter)) &&
      filter->GetSyncSource(clock.Out()) == S_OK && clock) {
    clock->GetTime(&now);
  }
  return now;
}
