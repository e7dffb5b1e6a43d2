#include "tessaly/commands/CExtractCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "media/TemporaryFiles.h"
#include "tessaly/CCommandError.h"
#include "tessaly/FileSystem.h"
#include "tessaly/graph/CComSession.h"
#include "tessaly/graph/CRegistrySelection.h"
#include "tessaly/reports/LossReport.h"

namespace tessaly::cli {

namespace {

// Returns the folders it made, for a failed extract to take away again.
std::vector<std::string> PrepareFolder(const std::string& folder) {
  std::vector<std::string> created;
  if (!MakeFolders(folder, &created)) {
    const int cause = errno;
    RemoveFolders(created);
    throw CCommandError(kExitOutputFailed,
                        "cannot create the output folder " + folder + ": " + std::strerror(cause));
  }
  if (access(folder.c_str(), W_OK | X_OK) != 0) {
    const int cause = errno;
    RemoveFolders(created);
    throw CCommandError(kExitOutputFailed, "cannot write to the output folder " + folder + ": " +
                                               std::strerror(cause));
  }
  return created;
}

// Refuses before anything is written a movie whose AVI would pass the 32-bit
// sizes of the RIFF and its index; the writer still checks every chunk.
void CheckAviSize(const CFilmStreamFigures& figures, std::optional<double> start,
                  std::optional<double> end) {
  const uint64_t bytes = figures.AviBytes(start.value_or(0), end.value_or(-1));
  if (bytes <= media::CAviWriter::kLargestFile) return;
  char text[256];
  std::snprintf(text, sizeof(text),
                "movie.avi would take %.2f GiB, more than the 4 GiB an AVI file can hold; "
                "extract it in parts with --start and --end",
                double(bytes) / double(uint64_t{1} << 30));
  throw CCommandError(kExitOutputFailed, text);
}

}  // namespace

int CExtractCommand::Run() const {
  const CRegistrySelection registry(m_options.registry);
  registry.Apply(false);
  const CComSession com;
  int status = kExitSuccess;
  for (const std::string& path : Extract(registry, &status))
    std::printf("wrote %s\n", path.c_str());
  return status;
}

std::vector<std::string> CExtractCommand::Extract(const CRegistrySelection& registry,
                                                  int* status) const {
  auto observer = std::make_shared<CExtractObserver>(m_folder);
  CFilmGraph graph(observer);
  graph.Render(m_file, registry);
  graph.Seek(m_options.start, m_options.end);
  const CFilmTableFile table(m_file);
  const CFilmStreamFigures figures(table);
  CheckAviSize(figures, m_options.start, m_options.end);
  const std::vector<std::string> created = PrepareFolder(m_folder);
  // An interruption takes the new folders away too.
  std::vector<int> slots;
  for (const std::string& folder : created) slots.push_back(media::RememberTemporaryFile(folder));
  std::vector<std::string> written;
  try {
    written = Write(graph, *observer, figures);
  } catch (const CCommandError&) {
    for (int slot : slots) media::ForgetTemporaryFile(slot);
    RemoveFolders(created);
    throw;
  }
  for (int slot : slots) media::ForgetTemporaryFile(slot);
  *status = ReportLosses(graph, table, m_file);
  return written;
}

std::vector<std::string> CExtractCommand::Write(CFilmGraph& graph, CExtractObserver& observer,
                                                const CFilmStreamFigures& figures) const {
  observer.Open(graph.Outputs());
  // The filter's duration is the video's; audio may outlast it. Sample times
  // count from the start position, so the bar spans only what is played.
  const double length =
      std::max({graph.Duration(), figures.AudioSeconds(), figures.VideoSeconds()});
  const double played =
      std::min(length, m_options.end.value_or(length)) - m_options.start.value_or(0);
  auto progress = std::make_shared<CProgressBar>("extracting", std::max(0.0, played),
                                                 CProgressBar::StandardErrorIsTerminal());
  observer.SetProgress(progress);
  try {
    graph.Play();
  } catch (const CCommandError&) {
    progress->Finish();
    observer.Abandon();
    const std::string failure = observer.Failure();
    if (!failure.empty()) throw CCommandError(kExitOutputFailed, failure);
    throw;
  }
  try {
    std::vector<std::string> written = observer.Finish();
    progress->Complete();
    return written;
  } catch (const CCommandError&) {
    progress->Finish();
    throw;
  }
}

}  // namespace tessaly::cli
