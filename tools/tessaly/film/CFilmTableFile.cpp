#include "tessaly/film/CFilmTableFile.h"

#include <algorithm>
#include <fstream>

namespace tessaly::cli {

CFilmTableFile::CFilmTableFile(const std::string& path) {
  using film::kHeaderLength;
  std::ifstream in(path, std::ios::binary);
  if (!in) return;
  in.seekg(0, std::ios::end);
  m_fileSize = static_cast<uint64_t>(in.tellg());
  if (m_fileSize < film::kShortestFile) return;
  m_header.resize(kHeaderLength);
  in.seekg(0);
  in.read(reinterpret_cast<char*>(m_header.data()), kHeaderLength);
  m_dataOffset = Field(m_header, film::kHeaderDataOffset);
  if (!in || m_dataOffset <= kHeaderLength) return;
  m_table.resize(std::min<uint64_t>(RegionLength(), m_fileSize - kHeaderLength));
  in.read(reinterpret_cast<char*>(m_table.data()), static_cast<std::streamsize>(m_table.size()));
  m_read = static_cast<bool>(in);
}

uint64_t CFilmTableFile::RegionLength() const {
  return m_dataOffset > film::kHeaderLength ? m_dataOffset - film::kHeaderLength : 0;
}

CFilmSampleTable CFilmTableFile::SampleTable() const {
  // Both fit 32 bits: the region ends at a 32-bit data offset.
  return CFilmSampleTable(m_table.data(), static_cast<uint32_t>(m_table.size()),
                          static_cast<uint32_t>(RegionLength()));
}

uint32_t CFilmTableFile::Field(const std::vector<uint8_t>& bytes, uint64_t offset) {
  return CBigEndianReader(bytes.data(), static_cast<uint32_t>(bytes.size())).U32(offset);
}

}  // namespace tessaly::cli
