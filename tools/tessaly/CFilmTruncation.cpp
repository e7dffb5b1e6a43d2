#include "tessaly/CFilmTruncation.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "filmwriter/FilmWriter.h"

namespace tessaly::cli {

namespace {

// The delivered length of an audio chunk of which `present` stored bytes
// exist: whole frames, the two planar halves of a stereo chunk alike.
uint64_t AudioBytesKept(uint32_t length, uint64_t present, uint8_t channels, uint8_t bits) {
  if (present >= length) return length;
  const uint64_t width = bits >= 8 ? bits / 8u : 1u;
  if (channels == 2) {
    const uint64_t half = length / 2;
    const uint64_t second = present > half ? present - half : 0;
    return 2 * (second - second % width);
  }
  const uint64_t frame = channels > 1 ? channels * width : width;
  return present - present % frame;
}

}  // namespace

CFilmTruncation::CFilmTruncation(const CFilmTableFile& file) {
  using filmwriter::kRowBytes;
  using filmwriter::kTableHeadBytes;
  if (!file.Read()) return;
  const auto Field = CFilmTableFile::Field;
  const std::vector<uint8_t>& table = file.Table();
  const uint64_t fileSize = file.FileSize();
  const uint32_t dataOffset = file.DataOffset();
  const uint8_t channels = file.Channels();
  const uint8_t bits = file.BitsPerSample();
  const uint32_t bytesPerSecond = file.AudioBytesPerSecond();

  // The splitter streams the rows the table length admits inside the region.
  const uint64_t region = file.RegionLength();
  const uint64_t present = table.size();
  const uint32_t tableLength = Field(table, 4);
  const uint32_t timeBase = Field(table, 8);
  const uint64_t admitted = tableLength > 0 ? (tableLength - 1u) / kRowBytes : 0;
  const uint64_t inRegion = region >= kTableHeadBytes ? (region - kTableHeadBytes) / kRowBytes : 0;
  const uint64_t inFile = present >= kTableHeadBytes ? (present - kTableHeadBytes) / kRowBytes : 0;
  const uint64_t declared = std::min(admitted, inRegion);
  const uint64_t rows = std::min(declared, inFile);
  m_rowsMissing = declared - rows;
  for (uint64_t i = 0; i < rows; ++i) {
    const uint64_t at = kTableHeadBytes + kRowBytes * i;
    // The splitter reads at the 32-bit sum of the file's offsets.
    const uint64_t position = static_cast<uint32_t>(dataOffset + Field(table, at));
    const uint32_t length = Field(table, at + 4);
    const bool audio = Field(table, at + 8) == filmwriter::kAudioTimeInfo;
    // A row too large or too short ever to play is damage in the table, not
    // something a cut took away, wherever its chunk lies.
    const bool playable = audio ? length <= filmwriter::kAudioChunkLimit
                                : length >= 12 && length - 2 <= filmwriter::kVideoFrameLimit;
    if (!playable) {
      ++m_rowsDamaged;
      continue;
    }
    if (position + length <= fileSize) continue;
    ++m_rowsMissing;
    const uint64_t there = position < fileSize ? fileSize - position : 0;
    if (audio) {
      const uint64_t lost = length - AudioBytesKept(length, there, channels, bits);
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
