#include "tessaly/film/CFilmStreamFigures.h"

#include <cmath>

#include "film/FilmRules.h"

namespace tessaly::cli {

namespace {

// A chunk in movie.avi: its header, its payload padded to even, its index entry.
uint32_t AviChunkBytes(uint32_t payload) { return 8 + payload + (payload & 1u) + 16; }

// What of a chunk reaches movie.avi: nothing of one too large to deliver,
// the whole frames of the part a file cut short holds, a video frame without
// the two bytes it drops.
uint32_t DeliveredBytes(const CFilmTableFile& file, bool audio, int64_t position, uint32_t length) {
  const int64_t fileLength = static_cast<int64_t>(file.FileSize());
  if (audio) {
    if (length > film::kStagingBufferLength) return 0;
    const uint32_t present = film::ChunkBytesInFile(position, length, fileLength);
    return film::CutAudioChunk(length, present, file.Channels(), file.BitsPerSample())
        .deliveredLength;
  }
  if (!film::VideoChunkDeliverable(length) ||
      !film::ChunkWhollyInFile(position, length, fileLength)) {
    return 0;
  }
  return length - (film::kVideoBodyOffset - film::kVideoHeadLength);
}

// Room for the RIFF and list headers and the idx1 head.
constexpr uint64_t kAviHeadersBytes = 1024;

}  // namespace

CFilmStreamFigures::CFilmStreamFigures(const CFilmTableFile& file) {
  if (!file.Read()) return;
  const CFilmSampleTable table = file.SampleTable();
  const uint32_t bytesPerSecond = file.AudioBytesPerSecond();
  const uint32_t timeBase = table.TimeBase();
  const uint32_t rows = table.StreamedRows();
  m_rows.reserve(rows);
  // Whole bytes and ticks are summed, so that lengths carry no rounding drift.
  uint64_t videoTicks = 0;
  for (uint32_t i = 0; i < rows; ++i) {
    const FilmSampleEntry row = table.Row(i);
    const uint32_t length = row.chunkLength;
    const int64_t position = film::ChunkPosition(file.DataOffset(), row.chunkOffset);
    const bool audio = row.timeInfo == film::kAudioTimeInfo;
    const uint32_t aviBytes = AviChunkBytes(DeliveredBytes(file, audio, position, length));
    if (audio) {
      const double start = bytesPerSecond > 0 ? double(m_audioBytes) / bytesPerSecond : 0;
      ++m_audioChunks;
      m_audioBytes += length;
      m_audioSeconds = bytesPerSecond > 0 ? double(m_audioBytes) / bytesPerSecond : 0;
      m_rows.push_back({start, m_audioSeconds, aviBytes});
      continue;
    }
    const double start = timeBase > 0 ? double(videoTicks) / timeBase : 0;
    ++m_videoFrames;
    m_videoBytes += length;
    videoTicks += row.durationTicks;
    m_videoSeconds = timeBase > 0 ? double(videoTicks) / timeBase : 0;
    m_rows.push_back({start, m_videoSeconds, aviBytes});
  }
}

double CFilmStreamFigures::FrameRate() const {
  return m_videoSeconds > 0 ? double(m_videoFrames) / m_videoSeconds : 0;
}

double CFilmStreamFigures::VideoBitRate() const {
  return m_videoSeconds > 0 ? std::round(8.0 * double(m_videoBytes) / m_videoSeconds) : 0;
}

double CFilmStreamFigures::AudioBitRate() const {
  return m_audioSeconds > 0 ? std::round(8.0 * double(m_audioBytes) / m_audioSeconds) : 0;
}

uint64_t CFilmStreamFigures::AviBytes(double start, double end) const {
  uint64_t bytes = kAviHeadersBytes;
  for (const Row& row : m_rows) {
    if (row.stop <= start && row.stop > row.start) continue;
    if (end >= 0 && row.start >= end) continue;
    bytes += row.aviBytes;
  }
  return bytes;
}

}  // namespace tessaly::cli
