// `tessaly play FILE [--paused]`: plays the file in real time through the
// platform's renderers on its system clock and exits at the end; with
// --paused, opens it paused, reports the samples the renderers hold once
// Pause has completed, and exits.
#pragma once

#include <string>

#include "tessaly/commands/CommandOptions.h"

namespace tessaly::cli {

class CPlayCommand {
 public:
  CPlayCommand(CommandOptions options, std::string file, bool paused)
      : m_options(std::move(options)), m_file(std::move(file)), m_paused(paused) {}
  int Run() const;

 private:
  CommandOptions m_options;
  std::string m_file;
  bool m_paused;
};

}  // namespace tessaly::cli
