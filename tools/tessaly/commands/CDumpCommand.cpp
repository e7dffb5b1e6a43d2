#include "tessaly/commands/CDumpCommand.h"

#include <cstdio>

#include "tessaly/CCommandError.h"
#include "tessaly/graph/CComSession.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/graph/CRegistrySelection.h"
#include "tessaly/observers/CDumpObserver.h"
#include "tessaly/reports/LossReport.h"

namespace tessaly::cli {

int CDumpCommand::Run() const {
  const CRegistrySelection registry(m_options.registry);
  registry.Apply(false);
  const CComSession com;
  CFilmGraph graph(std::make_shared<CDumpObserver>(stdout));
  graph.Render(m_file, registry);
  graph.Seek(m_options.start, m_options.end);
  try {
    graph.Play();
  } catch (const CCommandError&) {
    if (std::ferror(stdout)) throw CCommandError(kExitOutputFailed, "cannot write the dump");
    throw;
  }
  if (std::fflush(stdout) != 0) throw CCommandError(kExitOutputFailed, "cannot write the dump");
  return ReportLosses(graph, CFilmTableFile(m_file), m_file);
}

}  // namespace tessaly::cli
