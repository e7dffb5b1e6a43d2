#include "tessaly/film/CFilmTruncation.h"

#include <cstdio>

#include "film/FilmRules.h"

namespace tessaly::cli {

CFilmTruncation::CFilmTruncation(const CFilmTableFile& file) {
  if (!file.Read()) return;
  const CFilmSampleTable table = file.SampleTable();
  const int64_t fileLength = static_cast<int64_t>(file.FileSize());
  const uint32_t dataOffset = file.DataOffset();
  const uint8_t channels = file.Channels();
  const uint8_t bits = file.BitsPerSample();
  const uint32_t bytesPerSecond = file.AudioBytesPerSecond();
  const uint32_t timeBase = table.TimeBase();

  // The splitter streams the rows the table length admits inside the region;
  // those the file no longer holds are missing.
  const uint64_t declared = table.RowsDeclared();
  const uint64_t rows = table.StreamedRows();
  m_rowsMissing = declared - rows;
  for (uint32_t i = 0; i < rows; ++i) {
    const FilmSampleEntry row = table.Row(i);
    const int64_t position = film::ChunkPosition(dataOffset, row.chunkOffset);
    const uint32_t length = row.chunkLength;
    const bool audio = row.timeInfo == film::kAudioTimeInfo;
    // A row too large or too short ever to play is damage in the table, not
    // something a cut took away, wherever its chunk lies.
    const bool playable =
        audio ? length <= film::kStagingBufferLength : film::VideoChunkDeliverable(length);
    if (!playable) {
      ++m_rowsDamaged;
      continue;
    }
    if (film::ChunkWhollyInFile(position, length, fileLength)) continue;
    ++m_rowsMissing;
    if (audio) {
      const uint32_t there = film::ChunkBytesInFile(position, length, fileLength);
      const uint64_t lost =
          length - film::CutAudioChunk(length, there, channels, bits).deliveredLength;
      if (bytesPerSecond > 0) m_audioSecondsMissing += double(lost) / bytesPerSecond;
    } else if (timeBase > 0) {
      m_videoSecondsMissing += double(row.durationTicks) / timeBase;
    }
  }
}

std::string CFilmTruncation::Summary(bool audio, bool video) const {
  char text[160];
  std::snprintf(text, sizeof(text), "%llu row%s missing",
                static_cast<unsigned long long>(m_rowsMissing), m_rowsMissing == 1 ? "" : "s");
  std::string summary = text;
  std::string streams;
  if (audio) {
    std::snprintf(text, sizeof(text), "%.3f s of Audio", m_audioSecondsMissing);
    streams = text;
  }
  if (video) {
    std::snprintf(text, sizeof(text), "%s%.3f s of Video", streams.empty() ? "" : ", ",
                  m_videoSecondsMissing);
    streams += text;
  }
  return streams.empty() ? summary : summary + " (" + streams + ")";
}

}  // namespace tessaly::cli
