#include "tessaly/commands/CConvertCommand.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "tessaly/CCommandError.h"
#include "tessaly/FileSystem.h"
#include "tessaly/graph/CComSession.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/graph/CRegistrySelection.h"
#include "tessaly/observers/CConvertObserver.h"
#include "tessaly/reports/LossReport.h"
#include "webm/CVp9Encoder.h"

namespace tessaly::cli {

// Two straight lines meeting at the default: the qualities below it spread
// over the levels that give smaller files, those above it over the few that
// remain, so the default keeps its promise of 38 dB on busy pictures.
int CConvertCommand::LevelOf(int quality) {
  const int clamped = std::clamp(quality, 0, 100);
  constexpr int kDefault = webm::CVp9Encoder::kDefaultLevel;
  if (clamped >= kDefaultQuality) {
    return static_cast<int>(std::lround(webm::CVp9Encoder::kBestLevel +
                                        (kDefault - webm::CVp9Encoder::kBestLevel) *
                                            (100 - clamped) / double(100 - kDefaultQuality)));
  }
  return static_cast<int>(
      std::lround(webm::CVp9Encoder::kWorstLevel -
                  (webm::CVp9Encoder::kWorstLevel - kDefault) * clamped / double(kDefaultQuality)));
}

int CConvertCommand::Run() const {
  const std::string output = OutputFileFor(m_file, m_output);
  const CRegistrySelection registry(m_options.registry);
  registry.Apply(false);
  const CComSession com;
  auto observer = std::make_shared<CConvertObserver>(output, LevelOf(m_quality));
  CFilmGraph graph(observer);
  graph.Render(m_file, registry);
  graph.Seek(m_options.start, m_options.end);
  observer->Open(graph.Outputs());
  // Sample times count from the start position, so the bar spans only what is played.
  const double played = std::min(graph.Duration(), m_options.end.value_or(graph.Duration())) -
                        m_options.start.value_or(0);
  auto progress = std::make_shared<CProgressBar>("converting", std::max(0.0, played),
                                                 CProgressBar::StandardErrorIsTerminal());
  observer->SetProgress(progress);
  if (m_options.end) observer->SetLength(std::max(0.0, played));
  try {
    graph.Play();
  } catch (const CCommandError&) {
    progress->Finish();
    observer->Abandon();
    const std::string failure = observer->Failure();
    if (!failure.empty()) throw CCommandError(observer->FailureCode(), failure);
    throw;
  }
  progress->Finish();
  if (!observer->DeliveredAnything()) {
    // A file without a frame or a sound would claim a movie it does not hold.
    observer->Abandon();
    const int losses = ReportLosses(graph, CFilmTableFile(m_file), m_file);
    throw CCommandError(losses == kExitReadFailed ? kExitReadFailed : kExitRefused,
                        m_file +
                            ": nothing of it could be played, no video frame and no "
                            "sound; no WebM file was written");
  }
  try {
    observer->Finish();
  } catch (const CCommandError&) {
    observer->Abandon();
    throw;
  }
  std::printf("wrote %s\n", m_output.c_str());
  const std::string warning = observer->DecodeWarning();
  if (!warning.empty()) std::fprintf(stderr, "tessaly: warning: %s\n", warning.c_str());
  return ReportLosses(graph, CFilmTableFile(m_file), m_file);
}

}  // namespace tessaly::cli
