#include "tessaly/graph/CFilmGraph.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "media/ReferenceTime.h"
#include "sinks/CRecordingSink.h"
#include "sinks/WideText.h"
#include "tessaly/CCommandError.h"
#include "tessaly/film/CFilmStreamFigures.h"
#include "tessaly/graph/CRegistrationCheck.h"
#include "tessaly/graph/CRegistrySelection.h"
#include "tessaly/reports/HResultText.h"

namespace tessaly::cli {

namespace {

// Frees what a callee put in a media type it filled for us.
void FreeMediaTypeContents(AM_MEDIA_TYPE& type) {
  if (type.pbFormat != nullptr) CoTaskMemFree(type.pbFormat);
  if (type.pUnk != nullptr) type.pUnk->Release();
  type.pbFormat = nullptr;
  type.pUnk = nullptr;
  type.cbFormat = 0;
}

std::string PinName(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return std::string();
  if (info.pFilter != nullptr) info.pFilter->Release();
  info.achName[MAX_PIN_NAME - 1] = 0;
  return sinks::Utf8FromWide(info.achName);
}

struct stat CheckInputFile(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      throw CCommandError(kExitInputMissing, path + ": no such file");
    }
    throw CCommandError(kExitInputMissing, path + ": cannot be read: " + std::strerror(errno));
  }
  if (S_ISDIR(info.st_mode)) {
    throw CCommandError(kExitInputMissing, path + ": is a folder, not a file");
  }
  if (access(path.c_str(), R_OK) != 0) {
    throw CCommandError(kExitInputMissing, path + ": cannot be read: " + std::strerror(errno));
  }
  return info;
}

bool SameFile(const struct stat& before, const struct stat& now) {
  return before.st_dev == now.st_dev && before.st_ino == now.st_ino &&
         before.st_size == now.st_size && before.st_mtim.tv_sec == now.st_mtim.tv_sec &&
         before.st_mtim.tv_nsec == now.st_mtim.tv_nsec;
}

std::string RegisterAdvice(const CRegistrySelection& registry) {
  return "run 'tessaly register" + registry.OptionText() + "'";
}

}  // namespace

CFilmGraph::CFilmGraph(std::shared_ptr<sinks::ISinkObserver> observer)
    : m_tally(std::make_shared<CLossTally>(std::move(observer))) {
  m_makeSink = [tally = m_tally](IPin*, IBaseFilter** sink) {
    return sinks::CRecordingSink::Create(tally, sink);
  };
}

CFilmGraph::CFilmGraph(SinkMaker makeSink, std::shared_ptr<CLossTally> tally)
    : m_makeSink(std::move(makeSink)), m_tally(std::move(tally)) {
  if (!m_tally) m_tally = std::make_shared<CLossTally>();
}

CFilmGraph::~CFilmGraph() {
  if (!m_graph) return;
  StopGraph();
  platform::ComRef<platform::IGraphRendering> rendering;
  if (SUCCEEDED(m_graph.As(platform::IID_IGraphRendering, &rendering))) {
    rendering->SetRenderSinkFactory(nullptr);
  }
}

void CFilmGraph::Render(const std::string& path, const CRegistrySelection& registry) {
  m_path = path;
  m_opened = CheckInputFile(path);

  const CRegistrationCheck registration;
  if (!registration.IsRegistered()) {
    throw CCommandError(kExitNotRegistered, "the Tessaly module is not registered in " +
                                                registry.Path() + "; " + RegisterAdvice(registry) +
                                                " first");
  }
  if (!registration.ModulePath().empty() && access(registration.ModulePath().c_str(), F_OK) != 0) {
    throw CCommandError(kExitNotRegistered, "the module registered in " + registry.Path() +
                                                " is missing (" + registration.ModulePath() +
                                                "); " + RegisterAdvice(registry) + " again");
  }

  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                m_graph.OutVoid());
  if (FAILED(hr)) {
    throw CCommandError(kExitFailure, "cannot create a filter graph: " + DescribeHResult(hr));
  }
  platform::ComRef<platform::IGraphRendering> rendering;
  hr = m_graph.As(platform::IID_IGraphRendering, &rendering);
  if (FAILED(hr)) {
    throw CCommandError(kExitFailure,
                        "the filter graph cannot take recording sinks: " + DescribeHResult(hr));
  }
  auto create = [this](IPin* pin, const AM_MEDIA_TYPE* type, IBaseFilter** sink) -> HRESULT {
    // A raw byte stream means no filter took the file: leave it unrendered.
    if (type == nullptr || IsEqualGUID(type->majortype, MEDIATYPE_Stream)) return S_FALSE;
    return CreateSink(pin, sink);
  };
  using Factory = platform::CallbackSinkFactory<decltype(create)>;
  Factory* factory = new (std::nothrow) Factory(create);
  if (factory == nullptr) throw CCommandError(kExitFailure, "out of memory");
  factory->AddRef();
  hr = rendering->SetRenderSinkFactory(factory);
  factory->Release();
  if (FAILED(hr)) {
    throw CCommandError(kExitFailure, "cannot hand the sinks to the graph: " + DescribeHResult(hr));
  }

  const std::u16string widePath = sinks::WideFromUtf8(path);
  hr = m_graph->RenderFile(reinterpret_cast<LPCWSTR>(widePath.c_str()), nullptr);
  if (hr == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) ||
      hr == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)) {
    throw CCommandError(kExitInputMissing, path + ": no such file");
  }
  if (hr == E_ACCESSDENIED) {
    throw CCommandError(kExitInputMissing, path + ": cannot be read: " + DescribeHResult(hr));
  }
  if (hr == VFW_E_UNKNOWN_FILE_TYPE) {
    throw CCommandError(
        kExitUnrecognised,
        path + ": not a FILM file: no registered check bytes match its first bytes");
  }
  if (hr == VFW_E_CANNOT_RENDER) {
    throw CCommandError(kExitNotRegistered,
                        "no registered filter takes FILM streams: the Tessaly module is not "
                        "registered with the filter mapper in " +
                            registry.Path() + "; " + RegisterAdvice(registry));
  }
  if (hr == REGDB_E_CLASSNOTREG || hr == CO_E_DLLNOTFOUND || hr == CO_E_ERRORINDLL ||
      hr == HRESULT_FROM_WIN32(ERROR_MOD_NOT_FOUND) ||
      hr == HRESULT_FROM_WIN32(ERROR_DLL_INIT_FAILED)) {
    throw CCommandError(kExitNotRegistered, "cannot load the module registered in " +
                                                registry.Path() + ": " + DescribeHResult(hr) +
                                                "; " + RegisterAdvice(registry) + " again");
  }
  if (hr == VFW_E_CANNOT_LOAD_SOURCE_FILTER) {
    throw CCommandError(kExitFailure,
                        path + ": the source filter registered for it: " + DescribeHResult(hr));
  }
  if (FAILED(hr)) {
    throw CCommandError(kExitRefused,
                        path + ": the splitter refused the file: " + DescribeHResult(hr));
  }
  FindSplitter();
}

HRESULT CFilmGraph::CreateSink(IPin* pin, IBaseFilter** sink) {
  platform::ComRef<IBaseFilter> created;
  const HRESULT hr = m_makeSink(pin, created.Out());
  if (FAILED(hr)) return hr;
  m_sinks.push_back(platform::ComRef<IBaseFilter>::Share(created.Get()));
  *sink = created.Detach();
  return S_OK;
}

void CFilmGraph::FindSplitter() {
  for (const platform::ComRef<IBaseFilter>& sink : m_sinks) {
    platform::ComRef<IPin> input;
    if (FAILED(sink->FindPin(u"In", input.Out()))) continue;
    platform::ComRef<IPin> upstream;
    if (FAILED(input->ConnectedTo(upstream.Out()))) continue;
    PIN_INFO info{};
    if (FAILED(upstream->QueryPinInfo(&info)) || info.pFilter == nullptr) continue;
    m_splitter = platform::ComRef<IBaseFilter>::Adopt(info.pFilter);
    return;
  }
  throw CCommandError(kExitRefused, m_path + ": the splitter offered no stream to play");
}

std::vector<OutputPin> CFilmGraph::Outputs() const {
  std::vector<OutputPin> outputs;
  if (!m_splitter) return outputs;
  platform::ComRef<IEnumPins> pins;
  if (FAILED(m_splitter->EnumPins(pins.Out()))) return outputs;
  for (;;) {
    platform::ComRef<IPin> pin;
    ULONG fetched = 0;
    if (pins->Next(1, pin.Out(), &fetched) != S_OK || fetched != 1) break;
    PIN_DIRECTION direction = PINDIR_INPUT;
    if (FAILED(pin->QueryDirection(&direction)) || direction != PINDIR_OUTPUT) continue;
    OutputPin output;
    output.name = PinName(pin.Get());
    AM_MEDIA_TYPE type{};
    if (pin->ConnectionMediaType(&type) == S_OK) {
      output.connected = true;
      output.type = sinks::CSinkMediaType(type);
      FreeMediaTypeContents(type);
    } else {
      platform::ComRef<IEnumMediaTypes> types;
      AM_MEDIA_TYPE* offered = nullptr;
      if (SUCCEEDED(pin->EnumMediaTypes(types.Out())) &&
          types->Next(1, &offered, nullptr) == S_OK && offered != nullptr) {
        output.type = sinks::CSinkMediaType(*offered);
        FreeMediaTypeContents(*offered);
        CoTaskMemFree(offered);
      }
    }
    outputs.push_back(std::move(output));
  }
  return outputs;
}

double CFilmGraph::Duration() const {
  platform::ComRef<IMediaPosition> position;
  if (!m_splitter || FAILED(m_splitter.As(IID_IMediaPosition, &position))) return 0;
  REFTIME duration = 0;
  return SUCCEEDED(position->get_Duration(&duration)) ? duration : 0;
}

void CFilmGraph::Seek(std::optional<double> start, std::optional<double> end) {
  if (!start && !end) return;
  if (start) {
    // The filter's duration is the video's when there is video; audio may outlast it.
    const CFilmStreamFigures figures{CFilmTableFile(m_path)};
    const double movieEnd = std::max({Duration(), figures.AudioSeconds(), figures.VideoSeconds()});
    // Start 0 stays valid for a movie of no length: it plays nothing, as without --start.
    if (*start > 0 && *start >= movieEnd) {
      char startText[40];
      char endText[40];
      std::snprintf(startText, sizeof(startText), "%g", *start);
      std::snprintf(endText, sizeof(endText), "%.3f", movieEnd);
      throw CCommandError(kExitUsage, std::string("--start ") + startText +
                                          " is at or after the end of " + m_path + " (" + endText +
                                          " s) (see tessaly --help)");
    }
  }
  LONGLONG current = start ? std::llround(*start * media::kUnitsPerSecond) : 0;
  LONGLONG stop = end ? std::llround(*end * media::kUnitsPerSecond) : 0;
  platform::ComRef<IMediaSeeking> seeking;
  HRESULT hr = m_graph.As(IID_IMediaSeeking, &seeking);
  if (SUCCEEDED(hr)) {
    hr = seeking->SetPositions(start ? &current : nullptr,
                               start ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning,
                               end ? &stop : nullptr,
                               end ? AM_SEEKING_AbsolutePositioning : AM_SEEKING_NoPositioning);
  }
  if (FAILED(hr)) {
    throw CCommandError(kExitRefused, m_path + ": the graph cannot seek: " + DescribeHResult(hr));
  }
}

bool CFilmGraph::Cue(DWORD timeoutMs) {
  platform::ComRef<IMediaControl> control;
  HRESULT hr = m_graph.As(IID_IMediaControl, &control);
  if (FAILED(hr)) {
    throw CCommandError(kExitFailure, "the filter graph cannot be paused: " + DescribeHResult(hr));
  }
  hr = control->Pause();
  if (FAILED(hr)) {
    StopGraph();
    throw CCommandError(kExitRefused,
                        m_path + ": the graph would not pause: " + DescribeHResult(hr));
  }
  OAFilterState state = State_Stopped;
  hr = control->GetState(static_cast<LONG>(timeoutMs), &state);
  return hr == S_OK && state == State_Paused;
}

bool CFilmGraph::FileChanged() const {
  struct stat now {};
  if (!m_opened) return false;
  return stat(m_path.c_str(), &now) != 0 || !SameFile(*m_opened, now);
}

void CFilmGraph::Play(LONG timeoutMs) {
  platform::ComRef<IMediaControl> control;
  platform::ComRef<IMediaEvent> events;
  HRESULT hr = m_graph.As(IID_IMediaControl, &control);
  if (SUCCEEDED(hr)) hr = m_graph.As(IID_IMediaEvent, &events);
  if (FAILED(hr)) {
    throw CCommandError(kExitFailure, "the filter graph cannot be played: " + DescribeHResult(hr));
  }
  hr = control->Run();
  if (FAILED(hr)) {
    StopGraph();
    throw CCommandError(kExitRefused, m_path + ": the graph would not run: " + DescribeHResult(hr));
  }
  LONG code = 0;
  hr = events->WaitForCompletion(timeoutMs, &code);
  StopGraph();
  CollectLosses(events.Get());
  if (hr == E_ABORT) {
    throw CCommandError(kExitFailure, m_path + ": playback did not end in time");
  }
  if (FAILED(hr)) {
    throw CCommandError(
        kExitFailure, m_path + ": waiting for the end of playback failed: " + DescribeHResult(hr));
  }
  if (code != EC_COMPLETE) {
    throw CCommandError(kExitFailure,
                        m_path + ": playback aborted (" +
                            (code == EC_USERABORT ? std::string("EC_USERABORT") : "EC_ERRORABORT") +
                            ")");
  }
}

void CFilmGraph::CollectLosses(IMediaEvent* events) {
  LONG code = 0;
  LONG_PTR cause = 0;
  LONG_PTR unused = 0;
  while (events->GetEvent(&code, &cause, &unused, 0) == S_OK) {
    events->FreeEventParams(code, cause, unused);
    if (code != EC_STREAM_ERROR_STILLPLAYING) continue;
    const HRESULT hr = static_cast<HRESULT>(cause);
    if (std::find(m_lossCauses.begin(), m_lossCauses.end(), hr) == m_lossCauses.end()) {
      m_lossCauses.push_back(hr);
    }
  }
}

void CFilmGraph::StopGraph() {
  platform::ComRef<IMediaControl> control;
  if (m_graph && SUCCEEDED(m_graph.As(IID_IMediaControl, &control))) control->Stop();
}

}  // namespace tessaly::cli
