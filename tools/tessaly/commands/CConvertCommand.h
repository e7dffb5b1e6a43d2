// `tessaly convert FILE -o FILE.webm`: plays the movie into a WebM file, VP9
// pictures and Opus sound, that browsers play.
#pragma once

#include <string>

#include "tessaly/commands/CommandOptions.h"

namespace tessaly::cli {

class CConvertCommand {
 public:
  // --quality: 0 the smallest file to 100 the closest to the movie.
  static constexpr int kDefaultQuality = 70;

  CConvertCommand(CommandOptions options, std::string file, std::string output, int quality)
      : m_options(std::move(options)),
        m_file(std::move(file)),
        m_output(std::move(output)),
        m_quality(quality) {}

  int Run() const;

  // The VP9 constant-quality level (0 best, 63 smallest) for a quality.
  static int LevelOf(int quality);

 private:
  CommandOptions m_options;
  std::string m_file;
  std::string m_output;
  int m_quality;
};

}  // namespace tessaly::cli
