// The header and the sample-table region of a FILM file as the file holds
// them, read once for the host's own looks at the table: its key frames, and
// what a file cut short is missing.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "film/CFilmSampleTable.h"
#include "film/FilmLayout.h"

namespace tessaly::cli {

class CFilmTableFile {
 public:
  // Reads the file at path. A file that cannot be read, is shorter than the
  // table head or has no table region is not Read().
  explicit CFilmTableFile(const std::string& path);

  bool Read() const { return m_read; }
  uint64_t FileSize() const { return m_fileSize; }
  uint32_t DataOffset() const { return m_dataOffset; }
  const std::vector<uint8_t>& Header() const { return m_header; }
  // The part of the region the file holds, from the table head on.
  const std::vector<uint8_t>& Table() const { return m_table; }
  // The region's length as the data offset declares it.
  uint64_t RegionLength() const;
  // The rows of Table(), bounds-checked, as the splitter reads them.
  CFilmSampleTable SampleTable() const;
  // The header's audio layout, and the bytes a second the splitter times
  // audio chunks by (0 without audio).
  uint8_t Channels() const { return m_header[film::kHeaderChannels]; }
  uint8_t BitsPerSample() const { return m_header[film::kHeaderBitsPerSample]; }
  uint32_t AudioBytesPerSecond() const {
    const uint32_t rate =
        (uint32_t{m_header[film::kHeaderSampleRate]} << 8) | m_header[film::kHeaderSampleRate + 1];
    return rate * ((uint32_t{BitsPerSample()} * Channels()) / 8u);
  }

  // The big-endian word at offset, or 0 when it lies past the bytes' end.
  static uint32_t Field(const std::vector<uint8_t>& bytes, uint64_t offset);

 private:
  bool m_read = false;
  uint64_t m_fileSize = 0;
  uint32_t m_dataOffset = 0;
  std::vector<uint8_t> m_header;
  std::vector<uint8_t> m_table;
};

}  // namespace tessaly::cli
