#include "tessaly/commands/CDemoCommand.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "media/CAtomicFile.h"
#include "tessaly/CCommandError.h"
#include "tessaly/FileSystem.h"
#include "tessaly/commands/CDemoSample.h"
#include "tessaly/commands/CExtractCommand.h"
#include "tessaly/commands/CThumbnailCommand.h"
#include "tessaly/graph/CComSession.h"
#include "tessaly/graph/CFilmGraph.h"
#include "tessaly/graph/CModuleRegistrar.h"
#include "tessaly/graph/CRegistrationCheck.h"
#include "tessaly/graph/CRegistrySelection.h"
#include "tessaly/observers/CIgnoringObserver.h"
#include "tessaly/reports/CInfoReport.h"

namespace tessaly::cli {

namespace {

void WriteSample(const std::string& path) {
  const std::vector<uint8_t> bytes = CDemoSample().Bytes();
  media::CAtomicFile file;
  std::string error;
  if (!file.Open(path, &error) || !file.Write(bytes.data(), bytes.size(), &error) ||
      !file.Commit(&error)) {
    throw CCommandError(kExitOutputFailed, error);
  }
}

}  // namespace

int CDemoCommand::Run() const {
  if (!MakeFolders(m_folder) || access(m_folder.c_str(), W_OK | X_OK) != 0) {
    throw CCommandError(kExitOutputFailed, "cannot write to the demo folder " + m_folder + ": " +
                                               std::strerror(errno));
  }
  // Without a registry named by the user the demo keeps one of its own, so
  // that it leaves the user's registrations alone.
  std::string registryPath = m_options.registry;
  const char* environment = std::getenv("TESSALY_REGISTRY");
  if (registryPath.empty() && (environment == nullptr || environment[0] == 0)) {
    registryPath = m_folder + "/registry.reg";
  }
  const CRegistrySelection registry(registryPath);
  registry.Apply(true);
  const CComSession com;

  const CRegistrationCheck registration;
  if (!registration.IsRegistered() || access(registration.ModulePath().c_str(), F_OK) != 0) {
    const CModuleRegistrar registrar(m_options.module);
    registrar.Register();
    std::printf("registered %s in %s\n", registrar.ModulePath().c_str(), registry.Path().c_str());
  }

  const std::string sample = m_folder + "/demo.film";
  WriteSample(sample);
  std::printf("wrote %s\n", sample.c_str());

  {
    CFilmGraph graph(std::make_shared<CIgnoringObserver>());
    graph.Render(sample, registry);
    const CFilmTableFile table(sample);
    std::fputs(CInfoReport(graph.Outputs(), graph.Duration(), table).Text(sample).c_str(), stdout);
  }
  std::fflush(stdout);
  int status = kExitSuccess;
  for (const std::string& path :
       CExtractCommand(m_options, sample, m_folder).Extract(registry, &status)) {
    std::printf("wrote %s\n", path.c_str());
  }
  const std::string sheet = m_folder + "/thumbnail.png";
  CThumbnailCommand(m_options, sample, sheet, CThumbnailCommand::kDefaultCount).Write(registry);
  std::printf("wrote %s\n", sheet.c_str());
  std::printf("the demo is in %s\n", m_folder.c_str());
  // The demo's registry is its own: later commands must be told where it is.
  std::printf("next: tessaly%s info %s\n", registry.OptionText().c_str(), sample.c_str());
  return status;
}

}  // namespace tessaly::cli
