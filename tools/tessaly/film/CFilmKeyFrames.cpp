#include "tessaly/film/CFilmKeyFrames.h"

#include "film/FilmRules.h"

namespace tessaly::cli {

CFilmKeyFrames::CFilmKeyFrames(const CFilmTableFile& file) {
  if (!file.Read()) return;
  const CFilmSampleTable table = file.SampleTable();
  const uint32_t rows = table.StreamedRows();
  const uint32_t timeBase = table.TimeBase();
  // Each frame's duration is converted on its own, as the splitter times its
  // samples; a frame it cannot deliver (too short, too large, not wholly in
  // the file) is no frame of the movie, but still takes its time.
  int64_t start = 0;
  for (uint32_t i = 0; i < rows; ++i) {
    const FilmSampleEntry row = table.Row(i);
    if (row.timeInfo == film::kAudioTimeInfo) continue;
    const int64_t position = film::ChunkPosition(file.DataOffset(), row.chunkOffset);
    const bool plays =
        film::VideoChunkDeliverable(row.chunkLength) &&
        film::ChunkWhollyInFile(position, row.chunkLength, static_cast<int64_t>(file.FileSize()));
    if (plays) ++m_videoFrames;
    if (plays && (row.timeInfo & film::kNotSyncPointFlag) == 0) {
      m_times.push_back(static_cast<double>(start) / film::kUnitsPerSecond);
    }
    start = film::AdvanceTime(start, film::VideoFrameDuration(row.durationTicks, timeBase));
  }
}

}  // namespace tessaly::cli
