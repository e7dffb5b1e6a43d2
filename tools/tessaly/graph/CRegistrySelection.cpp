#include "tessaly/graph/CRegistrySelection.h"

#include <platform/Registry.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "tessaly/CCommandError.h"
#include "tessaly/FileSystem.h"

namespace tessaly::cli {

CRegistrySelection::CRegistrySelection(std::string explicitPath) {
  if (!explicitPath.empty()) {
    m_path = std::move(explicitPath);
    m_chosen = true;
    return;
  }
  const char* environment = std::getenv("TESSALY_REGISTRY");
  if (environment != nullptr && environment[0] != 0) {
    m_path = environment;
    m_chosen = true;
    return;
  }
  m_path = DefaultPath();
}

std::string CRegistrySelection::OptionText() const {
  return m_chosen ? " --registry " + ShellQuoted(m_path) : std::string();
}

void CRegistrySelection::Apply(bool createFolder) const {
  if (m_path.empty()) {
    throw CCommandError(kExitRegistryFailed,
                        "no registry file: set HOME, XDG_CONFIG_HOME or TESSALY_REGISTRY, or pass "
                        "--registry FILE");
  }
  if (createFolder && !MakeFolders(FolderOf(m_path))) {
    throw CCommandError(kExitRegistryFailed, "cannot create the folder of the registry file " +
                                                 m_path + ": " + std::strerror(errno));
  }
  std::string error;
  if (!platform::UseRegistryFile(m_path, &error)) {
    throw CCommandError(kExitRegistryFailed,
                        "cannot use the registry file " + m_path + ": " + error);
  }
}

std::string CRegistrySelection::DefaultPath() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config != nullptr && config[0] == '/') return std::string(config) + "/tessaly/registry.reg";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] != 0) return std::string(home) + "/.config/tessaly/registry.reg";
  return std::string();
}

}  // namespace tessaly::cli
