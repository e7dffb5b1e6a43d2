// The key frames of a FILM file's video, read from its own sample table:
// the rows whose timeInfo has bit 31 clear, at the times the splitter gives
// their samples (the sum of the earlier frames' durations).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tessaly/film/CFilmTableFile.h"

namespace tessaly::cli {

class CFilmKeyFrames {
 public:
  // A file that could not be read has no key frames, since the graph
  // reports it on its own.
  explicit CFilmKeyFrames(const CFilmTableFile& file);

  uint64_t VideoFrames() const { return m_videoFrames; }
  // Start times in seconds, in table order.
  const std::vector<double>& Times() const { return m_times; }

 private:
  uint64_t m_videoFrames = 0;
  std::vector<double> m_times;
};

}  // namespace tessaly::cli
