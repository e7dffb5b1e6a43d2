#include "tessaly/CFilmKeyFrames.h"

#include <algorithm>
#include <fstream>

#include "filmwriter/FilmWriter.h"

namespace tessaly::cli {

namespace {

uint32_t Field(const std::vector<uint8_t>& bytes, uint64_t offset) {
  if (offset + 4 > bytes.size()) return 0;
  return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
         (uint32_t{bytes[offset + 2]} << 8) | uint32_t{bytes[offset + 3]};
}

}  // namespace

CFilmKeyFrames::CFilmKeyFrames(const std::string& path) {
  using filmwriter::kHeaderBytes;
  using filmwriter::kRowBytes;
  using filmwriter::kTableHeadBytes;
  constexpr uint64_t kUnitsPerSecond = 10000000;
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  in.seekg(0, std::ios::end);
  const uint64_t fileSize = static_cast<uint64_t>(in.tellg());
  if (fileSize < kHeaderBytes + kTableHeadBytes) return;
  std::vector<uint8_t> header(kHeaderBytes);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(header.data()), kHeaderBytes);
  const uint32_t dataOffset = Field(header, 4);
  if (!in || dataOffset <= kHeaderBytes) return;
  const uint64_t present = std::min<uint64_t>(dataOffset - kHeaderBytes, fileSize - kHeaderBytes);
  std::vector<uint8_t> table(present);
  in.read(reinterpret_cast<char*>(table.data()), static_cast<std::streamsize>(present));
  if (!in) return;
  const uint32_t tableLength = Field(table, 4);
  const uint32_t timeBase = Field(table, 8);
  const uint64_t admitted = tableLength > 0 ? (tableLength - 1u) / kRowBytes : 0;
  const uint64_t inTable = present >= kTableHeadBytes ? (present - kTableHeadBytes) / kRowBytes : 0;
  const uint64_t rows = std::min(admitted, inTable);
  // Each frame's duration is converted on its own, as the splitter times its samples.
  uint64_t start = 0;
  for (uint64_t i = 0; i < rows; ++i) {
    const uint64_t at = kTableHeadBytes + kRowBytes * i;
    const uint32_t timeInfo = Field(table, at + 8);
    if (timeInfo == filmwriter::kAudioTimeInfo) continue;
    ++m_videoFrames;
    if ((timeInfo & filmwriter::kNotSyncPoint) == 0) {
      m_times.push_back(static_cast<double>(start) / kUnitsPerSecond);
    }
    if (timeBase > 0) start += uint64_t{Field(table, at + 12)} * kUnitsPerSecond / timeBase;
  }
}

}  // namespace tessaly::cli
