// Which registry file a command works on: --registry, else TESSALY_REGISTRY,
// else the user's own file under the configuration directory.
#pragma once

#include <string>

namespace tessaly::cli {

class CRegistrySelection {
 public:
  // explicitPath is the --registry value, empty when not given.
  explicit CRegistrySelection(std::string explicitPath);

  const std::string& Path() const { return m_path; }
  // Whether the file came from the command line or the environment rather
  // than the default, so that advice can repeat it.
  bool IsChosen() const { return m_chosen; }
  // " --registry PATH" when chosen, else empty: to complete suggested commands.
  std::string OptionText() const;

  // Backs the platform's registry with the file. createFolder makes its
  // folder first (commands that write). Throws CCommandError on failure.
  void Apply(bool createFolder) const;

  // The user's default file: $XDG_CONFIG_HOME/tessaly/registry.reg, else
  // ~/.config/tessaly/registry.reg.
  static std::string DefaultPath();

 private:
  std::string m_path;
  bool m_chosen = false;
};

}  // namespace tessaly::cli
