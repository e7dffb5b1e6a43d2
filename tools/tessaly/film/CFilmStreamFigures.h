// What the sample table says of each stream: its length, its frames and
// its bit rate as the movie holds them (the media types carry declared
// values that need not match), and how large an AVI of a stretch of it is.
#pragma once

#include <cstdint>
#include <vector>

#include "tessaly/film/CFilmTableFile.h"

namespace tessaly::cli {

class CFilmStreamFigures {
 public:
  explicit CFilmStreamFigures(const CFilmTableFile& file);

  uint64_t VideoFrames() const { return m_videoFrames; }
  double VideoSeconds() const { return m_videoSeconds; }
  uint64_t AudioChunks() const { return m_audioChunks; }
  double AudioSeconds() const { return m_audioSeconds; }
  // 0 when the stream has no length; bit rates in whole bits a second.
  double FrameRate() const;
  double VideoBitRate() const;
  double AudioBitRate() const;

  // Bytes of movie.avi for the chunks that play between start and end
  // (seconds; end below 0 for the movie's end): chunk headers, payloads,
  // index entries and the headers' room.
  uint64_t AviBytes(double start, double end) const;

 private:
  struct Row {
    double start;
    double stop;
    uint32_t aviBytes;
  };

  uint64_t m_videoFrames = 0;
  double m_videoSeconds = 0;
  uint64_t m_videoBytes = 0;
  uint64_t m_audioChunks = 0;
  double m_audioSeconds = 0;
  uint64_t m_audioBytes = 0;
  std::vector<Row> m_rows;
};

}  // namespace tessaly::cli
