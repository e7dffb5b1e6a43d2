#include "film/CCpkStreamDescription.h"

#include <cstring>
#include <new>
#include <utility>

#include "film/CBigEndianReader.h"
#include "film/FilmLayout.h"
#include "film/FilmRules.h"

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
  uint32_t dataOffset = 0;
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
  uint32_t height = 0;
  uint32_t width = 0;
  uint8_t bitCount = 0;
  uint8_t channels = 0;
  uint8_t bitsPerSample = 0;
  uint16_t sampleRate = 0;
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

CFilmSampleTable CCpkStreamDescription::Table() const {
  // The copy, not m_headerLength, bounds the region: a failed parse may
  // change the latter while the table it read before stays.
  return CFilmSampleTable(m_headerBuffer.get(), m_headerBufferLength, m_headerBufferLength);
}

void CCpkStreamDescription::ClassifyRows() {
  const CFilmSampleTable table = Table();
  const DWORD entryCount = table.EntryCount();
  m_timeBase = table.TimeBase();
  m_entryCount = entryCount;

  // A declared count reaching past the region is cut to the rows that fit.
  DWORD rows = table.RowsHeld();
  if (entryCount < rows) {
    rows = entryCount;
  }
  // The file's end comes from the rows the table length admits, which may
  // be more or fewer than the declared count: one pass over the table serves
  // both, since a movie of a million rows pays it at every connection.
  const DWORD streamed = table.StreamedRows();
  const DWORD scanned = rows > streamed ? rows : streamed;
  LONGLONG end = static_cast<LONGLONG>(film::kHeaderLength) + m_headerLength;
  DWORD audioRows = 0;
  DWORD videoRows = 0;
  LONGLONG videoTicks = 0;
  for (DWORD i = 0; i < scanned; ++i) {
    const FilmSampleEntry row = table.Row(i);
    if (i < streamed) {
      const LONGLONG chunkEnd =
          static_cast<LONGLONG>(film::ChunkPosition(m_dataOffset, row.chunkOffset)) +
          row.chunkLength;
      end = chunkEnd > end ? chunkEnd : end;
    }
    if (i >= rows) {
      continue;
    }
    if (film::IsAudioRow(row.timeInfo)) {
      ++audioRows;
      continue;
    }
    ++videoRows;
    videoTicks = film::VideoEndTick(row.timeInfo, row.durationTicks);
  }
  m_fileEnd = end;
  m_audioChunkCount = audioRows;
  m_videoChunkCount = videoRows;
  m_videoTicks = videoTicks;
}

BOOL CCpkStreamDescription::ReadSampleEntry(DWORD index, FilmSampleEntry* entry) const {
  if (entry == nullptr || index >= StreamedRowCount()) {
    return FALSE;
  }
  *entry = RowAt(index);
  return TRUE;
}

FilmSampleEntry CCpkStreamDescription::RowAt(DWORD index) const { return Table().Row(index); }

DWORD CCpkStreamDescription::StreamedRowCount() const { return Table().StreamedRows(); }

DWORD CCpkStreamDescription::StreamEndRow(BOOL audio, LONGLONG fileLength) const {
  return Table().StreamEndRow(audio != FALSE, m_dataOffset, fileLength, m_waveFormat.nChannels,
                              m_waveFormat.wBitsPerSample);
}

film::RowPlan CCpkStreamDescription::PlanRow(const FilmSampleEntry& row,
                                             LONGLONG fileLength) const {
  const film::RowFormat format = {m_dataOffset, m_waveFormat.nChannels,
                                  m_waveFormat.wBitsPerSample};
  return film::PlanRow(row, format, fileLength);
}

REFERENCE_TIME CCpkStreamDescription::RowDuration(const FilmSampleEntry& row) const {
  return film::RowDuration(row.timeInfo, row.chunkLength, row.durationTicks,
                           m_waveFormat.nAvgBytesPerSec, m_timeBase);
}
