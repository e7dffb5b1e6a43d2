// `tessaly demo [-o DIR]`: writes the built-in sample into DIR, registers the
// module into DIR's own registry when needed, then shows `info` and runs
// `extract` on the sample into DIR.
#pragma once

#include <string>

#include "tessaly/commands/CommandOptions.h"

namespace tessaly::cli {

class CDemoCommand {
 public:
  CDemoCommand(CommandOptions options, std::string folder)
      : m_options(std::move(options)), m_folder(std::move(folder)) {}

  int Run() const;

 private:
  CommandOptions m_options;
  std::string m_folder;
};

}  // namespace tessaly::cli
