// `tessaly register` and `tessaly unregister`: the module's own
// self-registration, into the chosen registry file.
#pragma once

#include "tessaly/commands/CommandOptions.h"

namespace tessaly::cli {

class CRegisterCommand {
 public:
  explicit CRegisterCommand(CommandOptions options) : m_options(std::move(options)) {}

  int Register() const;
  int Unregister() const;

 private:
  CommandOptions m_options;
};

}  // namespace tessaly::cli
