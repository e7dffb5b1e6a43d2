// Writes PCM as a RIFF WAVE file: a "fmt " chunk from the stream's
// WAVEFORMATEX and one "data" chunk, sizes filled in when the stream ends.
#pragma once

#include <win/platform.h>

#include <string>

#include "media/CAtomicFile.h"

namespace tessaly::media {

class CWavWriter {
 public:
  bool Open(const std::string& path, const WAVEFORMATEX& format, std::string* error);
  bool Append(const uint8_t* bytes, size_t count, std::string* error);
  // Completes the header and puts the file in place.
  bool Finish(std::string* error);
  void Abandon() { m_file.Abandon(); }

  uint64_t DataBytes() const { return m_dataBytes; }

 private:
  CAtomicFile m_file;
  uint64_t m_dataSizeOffset = 0;
  uint64_t m_dataBytes = 0;
};

}  // namespace tessaly::media
