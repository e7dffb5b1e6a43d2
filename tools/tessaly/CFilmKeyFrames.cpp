#include "tessaly/CFilmKeyFrames.h"

#include <algorithm>

#include "filmwriter/FilmWriter.h"

namespace tessaly::cli {

CFilmKeyFrames::CFilmKeyFrames(const CFilmTableFile& file) {
  using filmwriter::kRowBytes;
  using filmwriter::kTableHeadBytes;
  if (!file.Read()) return;
  const std::vector<uint8_t>& table = file.Table();
  const uint64_t present = table.size();
  const auto Field = CFilmTableFile::Field;
  const uint32_t tableLength = Field(table, 4);
  const uint32_t timeBase = Field(table, 8);
  const uint64_t admitted = film::RowsAdmitted(tableLength);
  const uint64_t inTable = present >= kTableHeadBytes ? (present - kTableHeadBytes) / kRowBytes : 0;
  const uint64_t rows = std::min(admitted, inTable);
  // Each frame's duration is converted on its own, as the splitter times its
  // samples; a frame it cannot deliver (too short, too large, not wholly in
  // the file) is no frame of the movie, but still takes its time.
  int64_t start = 0;
  for (uint64_t i = 0; i < rows; ++i) {
    const uint64_t at = kTableHeadBytes + kRowBytes * i;
    const uint32_t timeInfo = Field(table, at + 8);
    if (timeInfo == filmwriter::kAudioTimeInfo) continue;
    const int64_t position = film::ChunkPosition(file.DataOffset(), Field(table, at));
    const uint32_t length = Field(table, at + 4);
    const bool plays =
        film::VideoChunkDeliverable(length) &&
        film::ChunkWhollyInFile(position, length, static_cast<int64_t>(file.FileSize()));
    if (plays) ++m_videoFrames;
    if (plays && (timeInfo & filmwriter::kNotSyncPoint) == 0) {
      m_times.push_back(static_cast<double>(start) / film::kUnitsPerSecond);
    }
    start = film::AdvanceTime(start, film::VideoFrameDuration(Field(table, at + 12), timeBase));
  }
}

}  // namespace tessaly::cli
