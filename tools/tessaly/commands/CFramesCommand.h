// `tessaly frames FILE -o DIR`: one PNG a delivered frame (or one every
// SECONDS), named so that they sort in playing order, with the frame's time
// in the movie in the name.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tessaly/commands/CommandOptions.h"

namespace tessaly::cli {

class CFramesCommand {
 public:
  CFramesCommand(CommandOptions options, std::string file, std::string folder,
                 std::optional<double> every)
      : m_options(std::move(options)),
        m_file(std::move(file)),
        m_folder(std::move(folder)),
        m_every(every) {}

  int Run() const;

  // "frame-000012-0000004.800s.png": the index among the pictures written
  // and the frame's time in the movie.
  static std::string FileName(uint64_t index, double seconds);

 private:
  CommandOptions m_options;
  std::string m_file;
  std::string m_folder;
  std::optional<double> m_every;  // seconds between pictures; every frame when empty
};

}  // namespace tessaly::cli
