// `tessaly extract FILE -o DIR`: plays the file into audio.wav and movie.avi
// in DIR, with a progress bar when standard error is a terminal.
#pragma once

#include <string>
#include <vector>

#include "tessaly/commands/CommandOptions.h"
#include "tessaly/film/CFilmStreamFigures.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/observers/CExtractObserver.h"

namespace tessaly::cli {

class CExtractCommand {
 public:
  CExtractCommand(CommandOptions options, std::string file, std::string folder)
      : m_options(std::move(options)), m_file(std::move(file)), m_folder(std::move(folder)) {}

  int Run() const;
  // The same with the registry already in use; returns the files written,
  // and in *status what the losses the splitter reported make of the run.
  std::vector<std::string> Extract(const class CRegistrySelection& registry, int* status) const;

 private:
  // Plays the rendered graph into the folder's files. Throws CCommandError.
  std::vector<std::string> Write(CFilmGraph& graph, CExtractObserver& observer,
                                 const CFilmStreamFigures& figures) const;

  CommandOptions m_options;
  std::string m_file;
  std::string m_folder;
};

}  // namespace tessaly::cli
