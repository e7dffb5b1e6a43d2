#include "film/CCpkStreamDescription.h"

#include <cstring>
#include <new>
#include <utility>

#include "film/CBigEndianReader.h"
#include "film/FilmLayout.h"
#include "film/FilmRules.h"

namespace {

inline DWORD BigEndianWord(const BYTE* p) {
  return (static_cast<DWORD>(p[0]) << 24) | (static_cast<DWORD>(p[1]) << 16) |
         (static_cast<DWORD>(p[2]) << 8) | static_cast<DWORD>(p[3]);
}

}  // namespace

CCpkStreamDescription::CCpkStreamDescription(HRESULT* result)
    // Zeroed so that a short audio read can never deliver stale heap bytes.
    : m_stagingBuffer(new (std::nothrow) BYTE[film::kStagingBufferLength]()) {
  if (m_stagingBuffer == nullptr && result != nullptr) {
    *result = E_OUTOFMEMORY;
  }
}

HRESULT CCpkStreamDescription::ParseStreamDescription(CFilmByteSource* source) {
  if (source == nullptr) {
    return E_POINTER;
  }
  // Zeroed so that a short read answered with S_FALSE parses as zeros.
  BYTE header[film::kHeaderLength] = {};
  HRESULT hr = source->ReadAt(0, film::kHeaderLength, header);
  if (FAILED(hr)) {
    return E_FAIL;
  }
  // A file cut inside its table head is as damaged as an unreadable header;
  // so is a short header from a source that cannot say what it holds.
  const LONGLONG fileLength = source->AvailableLength();
  if (fileLength < film::kShortestFile ||
      (hr == S_FALSE && fileLength == film::kUnknownFileLength)) {
    return E_FAIL;
  }
  FillFormats(header);

  CBigEndianReader reader(header, sizeof(header));
  DWORD dataOffset = 0;
  reader.ReadU32(film::kHeaderDataOffset, &dataOffset);
  m_dataOffset = dataOffset;
  // A data offset inside the header describes no table, not a wrapped 4 GiB
  // one; a region shorter than the table's head has no table either.
  m_headerLength = dataOffset > film::kHeaderLength ? dataOffset - film::kHeaderLength : 0;
  if (m_headerLength < film::kTableHeadLength) {
    return E_FAIL;
  }
  return ReadSampleTable(source, fileLength);
}

void CCpkStreamDescription::FillFormats(const BYTE* header) {
  CBigEndianReader reader(header, film::kHeaderLength);
  DWORD height = 0;
  DWORD width = 0;
  BYTE bitCount = 0;
  BYTE channels = 0;
  BYTE bitsPerSample = 0;
  WORD sampleRate = 0;
  reader.ReadU32(film::kHeaderHeight, &height);
  reader.ReadU32(film::kHeaderWidth, &width);
  reader.ReadU8(film::kHeaderBitCount, &bitCount);
  reader.ReadU8(film::kHeaderChannels, &channels);
  reader.ReadU8(film::kHeaderBitsPerSample, &bitsPerSample);
  reader.ReadU16(film::kHeaderSampleRate, &sampleRate);

  VIDEOINFOHEADER video = {};
  video.rcSource.left = 0;
  video.rcSource.top = 0;
  video.rcSource.right = static_cast<LONG>(width);
  video.rcSource.bottom = static_cast<LONG>(height);
  video.rcTarget = video.rcSource;
  video.dwBitRate = 2000;
  video.dwBitErrorRate = 0;
  video.AvgTimePerFrame = 200000;
  video.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  video.bmiHeader.biWidth = video.rcSource.right - video.rcSource.left;
  video.bmiHeader.biHeight = video.rcSource.bottom - video.rcSource.top;
  video.bmiHeader.biPlanes = 1;
  video.bmiHeader.biBitCount = bitCount;
  video.bmiHeader.biCompression = MAKEFOURCC('c', 'v', 'i', 'd');
  m_videoInfo = video;

  WAVEFORMATEX wave = {};
  wave.wFormatTag = WAVE_FORMAT_PCM;
  wave.nChannels = channels;
  wave.nSamplesPerSec = sampleRate;
  wave.wBitsPerSample = bitsPerSample;
  wave.nBlockAlign = static_cast<WORD>((static_cast<DWORD>(bitsPerSample) * channels) / 8);
  wave.nAvgBytesPerSec = wave.nSamplesPerSec * wave.nBlockAlign;
  wave.cbSize = 0;
  m_waveFormat = wave;
}

HRESULT CCpkStreamDescription::ReadSampleTable(CFilmByteSource* source, LONGLONG fileLength) {
  m_headerBuffer.reset();
  m_headerBufferLength = 0;
  if (m_headerLength > film::kMaxSampleTableRegion) {
    return E_OUTOFMEMORY;
  }
  // Only the part of the region the file holds is read: rows past its end
  // are missing, not rows of zeros.
  const DWORD present = RegionBytesInFile(fileLength);
  // Not zeroed: a million-row table would pay a pass over it at every
  // connection. A short read is rare, and is read again into zeros.
  std::unique_ptr<BYTE[]> table(new (std::nothrow) BYTE[present]);
  if (table == nullptr) {
    return E_OUTOFMEMORY;
  }
  HRESULT hr = source->ReadAt(film::kHeaderLength, static_cast<LONG>(present), table.get());
  if (hr == S_FALSE) {
    // What a source leaves unwritten after a short read must parse as zeros.
    std::memset(table.get(), 0, present);
    hr = source->ReadAt(film::kHeaderLength, static_cast<LONG>(present), table.get());
  }
  if (FAILED(hr)) {
    return E_FAIL;
  }
  DWORD kept = present;
  if (hr == S_FALSE) {
    // The source has looked at its length again; it may have less than it said.
    fileLength = source->AvailableLength();
    if (fileLength == film::kUnknownFileLength || fileLength < film::kShortestFile) {
      return E_FAIL;
    }
    kept = RegionBytesInFile(fileLength) < present ? RegionBytesInFile(fileLength) : present;
  }
  m_headerBuffer = std::move(table);
  m_headerBufferLength = kept;
  ClassifyRows();
  return S_OK;
}

DWORD CCpkStreamDescription::RegionBytesInFile(LONGLONG fileLength) const {
  const LONGLONG inFile = fileLength - film::kHeaderLength;
  return inFile < static_cast<LONGLONG>(m_headerLength) ? static_cast<DWORD>(inFile)
                                                        : m_headerLength;
}

void CCpkStreamDescription::ClassifyRows() {
  CBigEndianReader table(m_headerBuffer.get(), m_headerBufferLength);
  DWORD timeBase = 0;
  DWORD entryCount = 0;
  table.ReadU32(film::kTableTimeBaseField, &timeBase);
  table.ReadU32(film::kTableEntryCountField, &entryCount);
  m_timeBase = timeBase;
  m_entryCount = entryCount;

  // A declared count reaching past the region is cut to the rows that fit.
  DWORD rows = RowsInsideBuffer();
  if (entryCount < rows) {
    rows = entryCount;
  }
  // The file's end comes from the rows the table length admits, which may
  // be more or fewer than the declared count: one pass over the table serves
  // both, since a movie of a million rows pays it at every connection. The
  // rows read lie inside the buffer, so they are read in place.
  const DWORD streamed = StreamedRowCount();
  const DWORD scanned = rows > streamed ? rows : streamed;
  LONGLONG end = static_cast<LONGLONG>(film::kHeaderLength) + m_headerLength;
  DWORD audioRows = 0;
  DWORD videoRows = 0;
  LONGLONG videoTicks = 0;
  const BYTE* row = m_headerBuffer.get() + film::kTableHeadLength;
  for (DWORD i = 0; i < scanned; ++i, row += film::kRowLength) {
    if (i < streamed) {
      const DWORD chunkOffset = BigEndianWord(row + film::kRowChunkOffset);
      const DWORD chunkLength = BigEndianWord(row + film::kRowChunkLength);
      const LONGLONG chunkEnd =
          static_cast<LONGLONG>(film::ChunkPosition(m_dataOffset, chunkOffset)) + chunkLength;
      end = chunkEnd > end ? chunkEnd : end;
    }
    if (i >= rows) {
      continue;
    }
    const DWORD timeInfo = BigEndianWord(row + film::kRowTimeInfo);
    if (timeInfo == film::kAudioTimeInfo) {
      ++audioRows;
      continue;
    }
    ++videoRows;
    videoTicks = film::VideoEndTick(timeInfo, BigEndianWord(row + film::kRowDurationTicks));
  }
  m_fileEnd = end;
  m_audioChunkCount = audioRows;
  m_videoChunkCount = videoRows;
  m_videoTicks = videoTicks;
}

DWORD CCpkStreamDescription::RowsInsideBuffer() const {
  if (m_headerBuffer == nullptr || m_headerBufferLength < film::kTableHeadLength) {
    return 0;
  }
  return (m_headerBufferLength - film::kTableHeadLength) / film::kRowLength;
}

BOOL CCpkStreamDescription::ReadSampleEntry(DWORD index, FilmSampleEntry* entry) const {
  if (entry == nullptr || index >= StreamedRowCount()) {
    return FALSE;
  }
  *entry = RowAt(index);
  return TRUE;
}

FilmSampleEntry CCpkStreamDescription::RowAt(DWORD index) const {
  const BYTE* row = m_headerBuffer.get() + film::kTableHeadLength + index * film::kRowLength;
  FilmSampleEntry entry;
  entry.chunkOffset = BigEndianWord(row + film::kRowChunkOffset);
  entry.chunkLength = BigEndianWord(row + film::kRowChunkLength);
  entry.timeInfo = BigEndianWord(row + film::kRowTimeInfo);
  entry.durationTicks = BigEndianWord(row + film::kRowDurationTicks);
  return entry;
}

DWORD CCpkStreamDescription::StreamedRowCount() const {
  CBigEndianReader table(m_headerBuffer.get(), m_headerBufferLength);
  DWORD tableLength = 0;
  if (!table.ReadU32(film::kTableLengthField, &tableLength)) {
    return 0;
  }
  const DWORD admitted = film::RowsAdmitted(tableLength);
  const DWORD inside = RowsInsideBuffer();
  return admitted < inside ? admitted : inside;
}

BOOL CCpkStreamDescription::RowHoldsData(const FilmSampleEntry& row, LONGLONG fileLength) const {
  return film::RowHoldsData(film::ChunkPosition(m_dataOffset, row.chunkOffset), row.chunkLength,
                            row.timeInfo == film::kAudioTimeInfo, fileLength,
                            m_waveFormat.nChannels, m_waveFormat.wBitsPerSample)
             ? TRUE
             : FALSE;
}

DWORD CCpkStreamDescription::StreamEndRow(BOOL audio, LONGLONG fileLength) const {
  // From the end: a cut-off movie's missing tail is all that is looked at.
  for (DWORD index = StreamedRowCount(); index > 0; --index) {
    FilmSampleEntry row = {};
    if (!ReadSampleEntry(index - 1, &row)) {
      continue;
    }
    const BOOL isAudio = row.timeInfo == film::kAudioTimeInfo ? TRUE : FALSE;
    if (isAudio == audio && RowHoldsData(row, fileLength)) {
      return index;
    }
  }
  return 0;
}

REFERENCE_TIME CCpkStreamDescription::RowDuration(const FilmSampleEntry& row) const {
  return film::RowDuration(row.timeInfo, row.chunkLength, row.durationTicks,
                           m_waveFormat.nAvgBytesPerSec, m_timeBase);
}
