// Options every command may take.
#pragma once

#include <optional>
#include <string>

namespace tessaly::cli {

struct CommandOptions {
  std::string registry;  // --registry; empty: TESSALY_REGISTRY, else the user's default
  std::string module;    // --module; empty: the module beside the program
  // --start and --end, in seconds (dump, extract, play): where playback
  // starts and ends, through the graph's seeking.
  std::optional<double> start;
  std::optional<double> end;
};

}  // namespace tessaly::cli
