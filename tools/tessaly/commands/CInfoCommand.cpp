#include "tessaly/commands/CInfoCommand.h"

#include <cstdio>

#include "tessaly/CCommandError.h"
#include "tessaly/graph/CComSession.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/graph/CRegistrySelection.h"
#include "tessaly/observers/CIgnoringObserver.h"
#include "tessaly/reports/CInfoReport.h"

namespace tessaly::cli {

int CInfoCommand::Run() const {
  const CRegistrySelection registry(m_options.registry);
  registry.Apply(false);
  const CComSession com;
  CFilmGraph graph(std::make_shared<CIgnoringObserver>());
  graph.Render(m_file, registry);
  const CFilmTableFile table(m_file);
  const CInfoReport report(graph.Outputs(), graph.Duration(), table);
  const std::string text = m_json ? report.Json().dump(2) + "\n" : report.Text(m_file);
  std::fputs(text.c_str(), stdout);
  return kExitSuccess;
}

}  // namespace tessaly::cli
