#include "tessaly/commands/CFramesCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>

#include "media/TemporaryFiles.h"
#include "pictures/CPngWriter.h"
#include "tessaly/CCommandError.h"
#include "tessaly/FileSystem.h"
#include "tessaly/graph/CComSession.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/graph/CRegistrySelection.h"
#include "tessaly/observers/CPictureObserver.h"
#include "tessaly/reports/LossReport.h"

namespace tessaly::cli {

namespace {

// Which frames become files, and the files written so far (removed again
// when the command fails, so that a failed run leaves nothing behind).
struct FrameFiles {
  std::string folder;
  std::optional<double> every;
  std::optional<double> nextMark;
  std::vector<std::string> written;

  bool Take(const pictures::CMoviePictures& pictures, double seconds, std::string* error) {
    if (media::InterruptionPending()) {
      *error = "interrupted";
      return false;
    }
    if (every) {
      // A small tolerance keeps frames on exact multiples from being missed
      // through rounding of 100-ns times.
      if (nextMark && seconds + 1e-6 < *nextMark) return true;
      const double base = nextMark.value_or(seconds);
      const double steps = std::max(1.0, std::floor((seconds + 1e-6 - base) / *every) + 1);
      nextMark = base + steps * *every;
    }
    const std::string path = folder + "/" + CFramesCommand::FileName(written.size(), seconds);
    if (!pictures::CPngWriter::Write(path, pictures.Picture(), error)) return false;
    written.push_back(path);
    return true;
  }

  std::vector<std::string> createdFolders;

  void RemoveAll() {
    for (const std::string& path : written) unlink(path.c_str());
    written.clear();
    RemoveFolders(createdFolders);
    createdFolders.clear();
  }

  // An interruption, noted while the graph played, ends the run here, after
  // the pictures are gone: too many to leave to the signal handler.
  void EndIfInterrupted() {
    if (!media::InterruptionPending()) return;
    RemoveAll();
    media::EndInterrupted();
  }
};

}  // namespace

std::string CFramesCommand::FileName(uint64_t index, double seconds) {
  char name[64];
  std::snprintf(name, sizeof(name), "frame-%06llu-%011.3fs.png",
                static_cast<unsigned long long>(index), std::max(0.0, seconds));
  return name;
}

int CFramesCommand::Run() const {
  const CRegistrySelection registry(m_options.registry);
  registry.Apply(false);
  const CComSession com;
  auto files = std::make_shared<FrameFiles>();
  files->folder = m_folder;
  files->every = m_every;
  auto observer =
      std::make_shared<CPictureObserver>([files](const MoviePicture& picture, std::string* error) {
        return files->Take(picture.pictures, picture.seconds, error);
      });
  media::DeferInterruptions();
  CFilmGraph graph(observer);
  graph.Render(m_file, registry);
  graph.Seek(m_options.start, m_options.end);
  observer->Open(graph.Outputs());
  if (!MakeFolders(m_folder, &files->createdFolders) ||
      access(m_folder.c_str(), W_OK | X_OK) != 0) {
    const int cause = errno;
    files->RemoveAll();
    throw CCommandError(kExitOutputFailed, "cannot write to the output folder " + m_folder + ": " +
                                               std::strerror(cause));
  }
  const double played = std::min(graph.Duration(), m_options.end.value_or(graph.Duration())) -
                        m_options.start.value_or(0);
  auto progress = std::make_shared<CProgressBar>("writing frames", std::max(0.0, played),
                                                 CProgressBar::StandardErrorIsTerminal());
  observer->SetProgress(progress);
  try {
    graph.Play();
  } catch (const CCommandError&) {
    progress->Finish();
    files->EndIfInterrupted();
    files->RemoveAll();
    const std::string failure = observer->Failure();
    if (!failure.empty()) throw CCommandError(kExitOutputFailed, failure);
    throw;
  }
  progress->Finish();
  files->EndIfInterrupted();
  std::printf("wrote %zu pictures to %s\n", files->written.size(), m_folder.c_str());
  const std::string warning = observer->DecodeWarning();
  if (!warning.empty()) std::fprintf(stderr, "tessaly: warning: %s\n", warning.c_str());
  return ReportLosses(graph, CFilmTableFile(m_file), m_file);
}

}  // namespace tessaly::cli
