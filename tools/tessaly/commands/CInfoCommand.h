// `tessaly info FILE [--json]`: the splitter's output pins, their media
// types and format blocks, and the file's duration.
#pragma once

#include <string>

#include "tessaly/commands/CommandOptions.h"

namespace tessaly::cli {

class CInfoCommand {
 public:
  CInfoCommand(CommandOptions options, std::string file, bool json)
      : m_options(std::move(options)), m_file(std::move(file)), m_json(json) {}

  int Run() const;

 private:
  CommandOptions m_options;
  std::string m_file;
  bool m_json;
};

}  // namespace tessaly::cli
