// `tessaly dump FILE`: plays the whole file into recording sinks and prints
// one JSON line per sample and per end-of-stream.
#pragma once

#include <string>

#include "tessaly/commands/CommandOptions.h"

namespace tessaly::cli {

class CDumpCommand {
 public:
  CDumpCommand(CommandOptions options, std::string file)
      : m_options(std::move(options)), m_file(std::move(file)) {}

  int Run() const;

 private:
  CommandOptions m_options;
  std::string m_file;
};

}  // namespace tessaly::cli
