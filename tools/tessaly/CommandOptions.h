// Options every command may take.
#pragma once

#include <string>

namespace tessaly::cli {

struct CommandOptions {
  std::string registry;  // --registry; empty: TESSALY_REGISTRY, else the user's default
  std::string module;    // --module; empty: the module beside the program
};

}  // namespace tessaly::cli
