#include "media/CWavWriter.h"

#include "media/RiffBytes.h"

namespace tessaly::media {

namespace {

constexpr uint64_t kRiffLimit = 0xFFFFFFFFu;

}  // namespace

bool CWavWriter::Open(const std::string& path, const WAVEFORMATEX& format, std::string* error) {
  m_dataBytes = 0;
  if (!m_file.Open(path, error)) return false;
  // Plain PCM keeps the 16-byte form every reader knows; other tags carry cbSize.
  const bool plainPcm = format.wFormatTag == WAVE_FORMAT_PCM && format.cbSize == 0;
  const uint32_t formatBytes = plainPcm ? 16 : 18;
  RiffBytes header;
  header.FourCC("RIFF").U32(0).FourCC("WAVE");
  header.FourCC("fmt ").U32(formatBytes);
  header.U16(format.wFormatTag).U16(format.nChannels).U32(format.nSamplesPerSec);
  header.U32(format.nAvgBytesPerSec).U16(format.nBlockAlign).U16(format.wBitsPerSample);
  if (!plainPcm) header.U16(0);
  header.FourCC("data");
  m_dataSizeOffset = header.Size();
  header.U32(0);
  return m_file.Write(header.Bytes().data(), header.Size(), error);
}

bool CWavWriter::Append(const uint8_t* bytes, size_t count, std::string* error) {
  if (m_file.Size() + count + 1 > kRiffLimit) {
    if (error) *error = "cannot write " + m_file.Path() + ": the audio exceeds a WAVE file's 4 GiB";
    m_file.Abandon();
    return false;
  }
  if (!m_file.Write(bytes, count, error)) return false;
  m_dataBytes += count;
  return true;
}

bool CWavWriter::Finish(std::string* error) {
  if (!m_file.IsOpen()) {
    if (error && error->empty()) *error = "cannot write " + m_file.Path();
    return false;
  }
  if (m_dataBytes % 2 != 0) {
    const uint8_t pad = 0;
    if (!m_file.Write(&pad, 1, error)) return false;
  }
  RiffBytes riffSize;
  riffSize.U32(static_cast<uint32_t>(m_file.Size() - 8));
  RiffBytes dataSize;
  dataSize.U32(static_cast<uint32_t>(m_dataBytes));
  return m_file.WriteAt(4, riffSize.Bytes().data(), 4, error) &&
         m_file.WriteAt(m_dataSizeOffset, dataSize.Bytes().data(), 4, error) &&
         m_file.Commit(error);
}

}  // namespace tessaly::media
