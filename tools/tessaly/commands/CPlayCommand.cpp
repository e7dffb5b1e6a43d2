#include "tessaly/commands/CPlayCommand.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include <platform/ComRef.h>
#include <platform/Rendering.h>

#include "media/ReferenceTime.h"
#include "sinks/WideText.h"
#include "tessaly/CCommandError.h"
#include "tessaly/film/CFilmStreamFigures.h"
#include "tessaly/graph/CComSession.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/graph/CRegistrySelection.h"
#include "tessaly/observers/CPlayObserver.h"
#include "tessaly/reports/CProgressBar.h"
#include "tessaly/reports/LossReport.h"

namespace tessaly::cli {

namespace {

// Pause completes once the first samples are read; a minute without it is a
// stall, however loaded the machine.
constexpr DWORD kCueTimeoutMs = 60000;
// Beyond the movie's own length, before playback counts as stalled.
constexpr double kPlaySlackSeconds = 60;

std::string UpstreamPinName(IPin* pin) {
  PIN_INFO info{};
  if (FAILED(pin->QueryPinInfo(&info))) return "?";
  if (info.pFilter != nullptr) info.pFilter->Release();
  info.achName[MAX_PIN_NAME - 1] = 0;
  return sinks::Utf8FromWide(info.achName);
}

void ReportHeld(const std::vector<platform::ComRef<CPlayObserver>>& observers) {
  std::printf("paused: Pause completed\n");
  for (const platform::ComRef<CPlayObserver>& observer : observers) {
    const std::optional<HeldSample> held = observer->FirstHeld();
    if (!held) {
      std::printf("%s: holds nothing (end of stream)\n", observer->Stream().c_str());
      continue;
    }
    const std::string what = observer->Stream() == "Video" ? "first picture" : "first sample";
    if (held->start) {
      std::printf("%s: holds its %s, start %.3f s, %ld bytes\n", observer->Stream().c_str(),
                  what.c_str(), media::Seconds(*held->start), static_cast<long>(held->length));
    } else {
      std::printf("%s: holds its %s, %ld bytes\n", observer->Stream().c_str(), what.c_str(),
                  static_cast<long>(held->length));
    }
  }
}

}  // namespace

int CPlayCommand::Run() const {
  const CRegistrySelection registry(m_options.registry);
  registry.Apply(false);
  const CComSession com;
  auto line = std::make_shared<CPositionLine>();
  auto tally = std::make_shared<CLossTally>();
  std::vector<platform::ComRef<CPlayObserver>> observers;
  auto makeRenderer = [&line, &tally, &observers](IPin* pin, IBaseFilter** sink) -> HRESULT {
    auto observer = platform::ComRef<CPlayObserver>::Adopt(
        CPlayObserver::Create(UpstreamPinName(pin), line, tally));
    if (!observer) return E_OUTOFMEMORY;
    const HRESULT hr = platform::CreateRenderer(observer.Get(), sink);
    if (SUCCEEDED(hr)) observers.push_back(std::move(observer));
    return hr;
  };
  int status = kExitSuccess;
  // The graph goes before the observers and the line it reports to.
  {
    CFilmGraph graph(makeRenderer, tally);
    graph.Render(m_file, registry);
    graph.Seek(m_options.start, m_options.end);
    // The filter reports the video's length; audio may outlast it.
    const CFilmStreamFigures figures{CFilmTableFile(m_file)};
    const double duration =
        std::max({graph.Duration(), figures.AudioSeconds(), figures.VideoSeconds()});
    if (m_paused) {
      if (!graph.Cue(kCueTimeoutMs)) {
        throw CCommandError(kExitFailure, m_file + ": Pause did not complete within " +
                                              std::to_string(kCueTimeoutMs / 1000) + " s");
      }
      ReportHeld(observers);
    } else {
      // Sample times count from the start position; the line shows movie time.
      const double start = m_options.start.value_or(0);
      const double end = std::min(duration, m_options.end.value_or(duration));
      line->Start(start, end, CProgressBar::StandardErrorIsTerminal());
      graph.Play(static_cast<LONG>((duration + kPlaySlackSeconds) * 1000));
      line->Update(std::max(0.0, end - start));
      line->Finish();
    }
    status = m_paused ? kExitSuccess : ReportLosses(graph, CFilmTableFile(m_file), m_file);
  }
  if (std::fflush(stdout) != 0) throw CCommandError(kExitOutputFailed, "cannot write the report");
  return status;
}

}  // namespace tessaly::cli
