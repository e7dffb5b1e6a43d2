// What a FILM file cut short is missing, read from the file's own header
// and sample table: rows whose chunks do not lie wholly in the file (or
// whose table entries are gone), and the seconds of each stream they held.
#pragma once

#include <cstdint>
#include <string>

#include "tessaly/film/CFilmTableFile.h"

namespace tessaly::cli {

class CFilmTruncation {
 public:
  // A file that could not be read is taken as whole, since the graph
  // reports it on its own.
  explicit CFilmTruncation(const CFilmTableFile& file);

  bool CutShort() const { return m_rowsMissing > 0; }
  uint64_t RowsMissing() const { return m_rowsMissing; }
  // Rows whose chunks are too large or too short ever to play; they are not
  // counted as missing.
  uint64_t RowsDamaged() const { return m_rowsDamaged; }
  // Rows whose table entries lie past the end count as missing, but their
  // stream and length are unknown and add no seconds here.
  double AudioSecondsMissing() const { return m_audioSecondsMissing; }
  double VideoSecondsMissing() const { return m_videoSecondsMissing; }

  // "N rows missing (x s of Audio, y s of Video)", for warnings and `info`.
  std::string Summary(bool audio, bool video) const;

 private:
  uint64_t m_rowsMissing = 0;
  uint64_t m_rowsDamaged = 0;
  double m_audioSecondsMissing = 0;
  double m_videoSecondsMissing = 0;
};

}  // namespace tessaly::cli
