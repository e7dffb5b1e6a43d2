#include "tessaly/commands/CThumbnailCommand.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

#include "pictures/CContactSheet.h"
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

// Picture i shows the movie at i × duration / count: the first frame that
// starts at or after that time (the last frame for times after it starts).
struct SheetPlan {
  uint32_t count = 0;
  double duration = 0;
  uint32_t placed = 0;
  std::optional<pictures::CContactSheet> sheet;

  double TimeOf(uint32_t index) const { return duration * index / count; }

  void Take(const pictures::CMoviePictures& pictures, double seconds) {
    // 100-ns times of frames on exact marks may round a hair below them.
    if (placed >= count || seconds + 1e-6 < TimeOf(placed)) return;
    const pictures::RgbPicture& picture = pictures.Picture();
    while (placed < count && TimeOf(placed) <= seconds + 1e-6) sheet->Place(placed++, picture);
  }
};

}  // namespace

int CThumbnailCommand::Run() const {
  const CRegistrySelection registry(m_options.registry);
  registry.Apply(false);
  const CComSession com;
  const int status = Write(registry);
  std::printf("wrote %s\n", m_sheet.c_str());
  return status;
}

int CThumbnailCommand::Write(const CRegistrySelection& registry) const {
  const std::string sheetFile = OutputFileFor(m_file, m_sheet);
  auto plan = std::make_shared<SheetPlan>();
  plan->count = m_count;
  auto observer =
      std::make_shared<CPictureObserver>([plan](const MoviePicture& picture, std::string*) {
        plan->Take(picture.pictures, picture.seconds);
        return true;
      });
  CFilmGraph graph(observer);
  graph.Render(m_file, registry);
  observer->Open(graph.Outputs());
  plan->duration = graph.Duration();
  plan->sheet.emplace(m_count, observer->Width(), observer->Height());
  const std::string folder = FolderOf(sheetFile);
  if (!MakeFolders(folder) || access(folder.c_str(), W_OK | X_OK) != 0) {
    throw CCommandError(kExitOutputFailed,
                        "cannot write to the folder " + folder + ": " + std::strerror(errno));
  }
  auto progress = std::make_shared<CProgressBar>("reading frames", plan->duration,
                                                 CProgressBar::StandardErrorIsTerminal());
  observer->SetProgress(progress);
  graph.Play();
  progress->Finish();
  if (observer->Frames() == 0) {
    // A sheet of empty tiles would pass for the movie's pictures.
    const int losses = ReportLosses(graph, CFilmTableFile(m_file), m_file);
    throw CCommandError(losses == kExitReadFailed ? kExitReadFailed : kExitRefused,
                        m_file + ": no video frame of it could be played; no sheet was written");
  }
  const pictures::RgbPicture last = observer->LastPicture();
  while (plan->placed < plan->count) plan->sheet->Place(plan->placed++, last);
  std::string error;
  if (!pictures::CPngWriter::Write(sheetFile, plan->sheet->Sheet(), &error)) {
    throw CCommandError(kExitOutputFailed, error);
  }
  const std::string warning = observer->DecodeWarning();
  if (!warning.empty()) std::fprintf(stderr, "tessaly: warning: %s\n", warning.c_str());
  return ReportLosses(graph, CFilmTableFile(m_file), m_file);
}

}  // namespace tessaly::cli
