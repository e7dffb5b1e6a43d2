#include "tessaly/CFilmTruncation.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "filmwriter/FilmWriter.h"

namespace tessaly::cli {

CFilmTruncation::CFilmTruncation(const CFilmTableFile& file) {
  using filmwriter::kRowBytes;
  using filmwriter::kTableHeadBytes;
  if (!file.Read()) return;
  const auto Field = CFilmTableFile::Field;
  const std::vector<uint8_t>& table = file.Table();
  const int64_t fileLength = static_cast<int64_t>(file.FileSize());
  const uint32_t dataOffset = file.DataOffset();
  const uint8_t channels = file.Channels();
  const uint8_t bits = file.BitsPerSample();
  const uint32_t bytesPerSecond = file.AudioBytesPerSecond();

  // The splitter streams the rows the table length admits inside the region.
  const uint64_t region = file.RegionLength();
  const uint64_t present = table.size();
  const uint32_t tableLength = Field(table, 4);
  const uint32_t timeBase = Field(table, 8);
  const uint64_t admitted = film::RowsAdmitted(tableLength);
  const uint64_t inRegion = region >= kTableHeadBytes ? (region - kTableHeadBytes) / kRowBytes : 0;
  const uint64_t inFile = present >= kTableHeadBytes ? (present - kTableHeadBytes) / kRowBytes : 0;
  const uint64_t declared = std::min(admitted, inRegion);
  const uint64_t rows = std::min(declared, inFile);
  m_rowsMissing = declared - rows;
  for (uint64_t i = 0; i < rows; ++i) {
    const uint64_t at = kTableHeadBytes + kRowBytes * i;
    const int64_t position = film::ChunkPosition(dataOffset, Field(table, at));
    const uint32_t length = Field(table, at + 4);
    const bool audio = Field(table, at + 8) == filmwriter::kAudioTimeInfo;
    // A row too large or too short ever to play is damage in the table, not
    // something a cut took away, wherever its chunk lies.
    const bool playable =
        audio ? length <= filmwriter::kAudioChunkLimit : film::VideoChunkDeliverable(length);
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
      m_videoSecondsMissing += double(Field(table, at + 12)) / timeBase;
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
