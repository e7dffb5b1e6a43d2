#include "film/CCpkStreamDescription.h"

#include <new>
#include <utility>

#include "film/CBigEndianReader.h"
#include "film/FilmLayout.h"

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
  if (FAILED(source->ReadAt(0, film::kHeaderLength, header))) {
    return E_FAIL;
  }
  FillFormats(header);

  CBigEndianReader reader(header, sizeof(header));
  DWORD dataOffset = 0;
  reader.ReadU32(film::kHeaderDataOffset, &dataOffset);
  m_dataOffset = dataOffset;
  // A data offset inside the header describes no table, not a wrapped 4 GiB one.
  m_headerLength = dataOffset > film::kHeaderLength ? dataOffset - film::kHeaderLength : 0;
  if (m_headerLength == 0) {
    return E_FAIL;
  }
  return ReadSampleTable(source);
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

HRESULT CCpkStreamDescription::ReadSampleTable(CFilmByteSource* source) {
  m_headerBuffer.reset();
  m_headerBufferLength = 0;
  if (m_headerLength > film::kMaxSampleTableRegion) {
    return E_OUTOFMEMORY;
  }
  // Zeroed so that a short read answered with S_FALSE parses as zeros.
  std::unique_ptr<BYTE[]> table(new (std::nothrow) BYTE[m_headerLength]());
  if (table == nullptr) {
    return E_OUTOFMEMORY;
  }
  HRESULT hr = source->ReadAt(film::kHeaderLength, static_cast<LONG>(m_headerLength), table.get());
  if (FAILED(hr)) {
    return E_FAIL;
  }
  m_headerBuffer = std::move(table);
  m_headerBufferLength = m_headerLength;
  ClassifyRows();
  return S_OK;
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
  DWORD audioRows = 0;
  DWORD videoRows = 0;
  DWORD lastStart = 0;
  DWORD lastDuration = 0;
  for (DWORD i = 0; i < rows; ++i) {
    DWORD rowOffset = film::kTableHeadLength + i * film::kRowLength;
    DWORD timeInfo = 0;
    table.ReadU32(rowOffset + film::kRowTimeInfo, &timeInfo);
    if (timeInfo == film::kAudioTimeInfo) {
      ++audioRows;
      continue;
    }
    ++videoRows;
    lastStart = timeInfo & film::kVideoStartMask;
    table.ReadU32(rowOffset + film::kRowDurationTicks, &lastDuration);
  }
  m_audioChunkCount = audioRows;
  m_videoChunkCount = videoRows;
  m_videoTicks = videoRows > 0 ? lastStart + lastDuration : 0;
}

DWORD CCpkStreamDescription::RowsInsideBuffer() const {
  if (m_headerBuffer == nullptr || m_headerBufferLength < film::kTableHeadLength) {
    return 0;
  }
  return (m_headerBufferLength - film::kTableHeadLength) / film::kRowLength;
}

BOOL CCpkStreamDescription::ReadSampleEntry(DWORD index, FilmSampleEntry* entry) const {
  if (entry == nullptr) {
    return FALSE;
  }
  CBigEndianReader table(m_headerBuffer.get(), m_headerBufferLength);
  DWORD tableLength = 0;
  if (!table.ReadU32(film::kTableLengthField, &tableLength)) {
    return FALSE;
  }
  // 64-bit so that a huge index cannot wrap round into an early row.
  ULONGLONG rowEnd = (static_cast<ULONGLONG>(index) + 1) * film::kRowLength;
  if (rowEnd >= tableLength || index >= RowsInsideBuffer()) {
    return FALSE;
  }
  DWORD rowOffset = film::kTableHeadLength + index * film::kRowLength;
  FilmSampleEntry row = {};
  if (!table.ReadU32(rowOffset + film::kRowChunkOffset, &row.chunkOffset) ||
      !table.ReadU32(rowOffset + film::kRowChunkLength, &row.chunkLength) ||
      !table.ReadU32(rowOffset + film::kRowTimeInfo, &row.timeInfo) ||
      !table.ReadU32(rowOffset + film::kRowDurationTicks, &row.durationTicks)) {
    return FALSE;
  }
  *entry = row;
  return TRUE;
}

void CCpkStreamDescription::RewindStreaming() {
  m_rowIndex = 0;
  m_audioTime = 0;
  m_videoTime = 0;
}
