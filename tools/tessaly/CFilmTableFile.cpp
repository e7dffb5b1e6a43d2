#include "tessaly/CFilmTableFile.h"

#include <algorithm>
#include <fstream>

#include "filmwriter/FilmWriter.h"

namespace tessaly::cli {

CFilmTableFile::CFilmTableFile(const std::string& path) {
  using filmwriter::kHeaderBytes;
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  in.seekg(0, std::ios::end);
  m_fileSize = static_cast<uint64_t>(in.tellg());
  if (m_fileSize < kHeaderBytes + filmwriter::kTableHeadBytes) return;
  m_header.resize(kHeaderBytes);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(m_header.data()), kHeaderBytes);
  m_dataOffset = Field(m_header, 4);
  if (!in || m_dataOffset <= kHeaderBytes) return;
  m_table.resize(std::min<uint64_t>(RegionLength(), m_fileSize - kHeaderBytes));
  in.read(reinterpret_cast<char*>(m_table.data()), static_cast<std::streamsize>(m_table.size()));
  m_read = static_cast<bool>(in);
}

uint64_t CFilmTableFile::RegionLength() const {
  return m_dataOffset > filmwriter::kHeaderBytes ? m_dataOffset - filmwriter::kHeaderBytes : 0;
}

uint32_t CFilmTableFile::Field(const std::vector<uint8_t>& bytes, uint64_t offset) {
  if (offset + 4 > bytes.size()) return 0;
  return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
         (uint32_t{bytes[offset + 2]} << 8) | uint32_t{bytes[offset + 3]};
}

}  // namespace tessaly::cli
