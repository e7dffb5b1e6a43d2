#include "tessaly/CFilmKeyFrames.h"

#include <algorithm>

#include "filmwriter/FilmWriter.h"

namespace tessaly::cli {

CFilmKeyFrames::CFilmKeyFrames(const CFilmTableFile& file) {
  using filmwriter::kRowBytes;
  using filmwriter::kTableHeadBytes;
  constexpr uint64_t kUnitsPerSecond = 10000000;
  if (!file.Read()) return;
  const std::vector<uint8_t>& table = file.Table();
  const uint64_t present = table.size();
  const auto Field = CFilmTableFile::Field;
  const uint32_t tableLength = Field(table, 4);
  const uint32_t timeBase = Field(table, 8);
  const uint64_t admitted = tableLength > 0 ? (tableLength - 1u) / kRowBytes : 0;
  const uint64_t inTable = present >= kTableHeadBytes ? (present - kTableHeadBytes) / kRowBytes : 0;
  const uint64_t rows = std::min(admitted, inTable);
  // Each frame's duration is converted on its own, as the splitter times its
  // samples; a frame it cannot deliver (too short, too large, not wholly in
  // the file) is no frame of the movie, but still takes its time.
  uint64_t start = 0;
  for (uint64_t i = 0; i < rows; ++i) {
    const uint64_t at = kTableHeadBytes + kRowBytes * i;
    const uint32_t timeInfo = Field(table, at + 8);
    if (timeInfo == filmwriter::kAudioTimeInfo) continue;
    const uint64_t position = static_cast<uint32_t>(file.DataOffset() + Field(table, at));
    const uint32_t length = Field(table, at + 4);
    const bool plays = length >= 12 && length - 2 <= filmwriter::kVideoFrameLimit &&
                       position + length <= file.FileSize();
    if (plays) ++m_videoFrames;
    if (plays && (timeInfo & filmwriter::kNotSyncPoint) == 0) {
      m_times.push_back(static_cast<double>(start) / kUnitsPerSecond);
    }
    if (timeBase > 0) start += uint64_t{Field(table, at + 12)} * kUnitsPerSecond / timeBase;
  }
}

}  // namespace tessaly::cli
