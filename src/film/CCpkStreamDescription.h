#pragma once

#include <memory>

#include "Platform.h"
#include "film/CFilmByteSource.h"
#include "film/CFilmSampleTable.h"
#include "film/FilmRowPlan.h"
#include "film/FilmSampleEntry.h"

// What a FILM file holds: formats, counts, time base and the sample table.
// The parse fills it on each input connection; each output's worker reads it
// with a cursor of its own.
class CCpkStreamDescription {
 public:
  // Reports E_OUTOFMEMORY into *result when the staging buffer cannot be
  // allocated; *result is left alone otherwise.
  explicit CCpkStreamDescription(HRESULT* result);

  CCpkStreamDescription(const CCpkStreamDescription&) = delete;
  CCpkStreamDescription& operator=(const CCpkStreamDescription&) = delete;

  // Reads the header and the part of the sample table the file holds
  // through source (borrowed). S_OK, E_FAIL (unreadable file, a file cut
  // before the end of the table head, no room for a table), E_OUTOFMEMORY
  // (table region too large or not allocatable); a failure leaves the fields
  // that were already written.
  HRESULT ParseStreamDescription(CFilmByteSource* source);

  // Fills entry with row index and returns TRUE while the table length admits
  // the row and the row lies inside m_headerBuffer; FALSE leaves entry alone.
  BOOL ReadSampleEntry(DWORD index, FilmSampleEntry* entry) const;

  // Rows ReadSampleEntry admits.
  DWORD StreamedRowCount() const;

  // Row index, which must be below StreamedRowCount(): the streaming loop
  // reads every row, and its bound was checked once for all of them.
  FilmSampleEntry RowAt(DWORD index) const;

  // One past the last audio row (audio TRUE) or video row whose chunk holds
  // data in a file of fileLength bytes; 0 when there is none. A stream ends
  // there: the rows after it need not be read.
  DWORD StreamEndRow(BOOL audio, LONGLONG fileLength) const;
  // What of the row a file of fileLength bytes holds and delivers.
  film::RowPlan PlanRow(const FilmSampleEntry& row, LONGLONG fileLength) const;

  // The length the file has when nothing is missing: the end of its table
  // region or of its furthest chunk. A shorter file was cut short.
  LONGLONG FileEnd() const { return m_fileEnd; }

  // TRUE when every row of the table region was read: a file that grew
  // after the parse still lacks the rows it did not have then.
  BOOL TableReadWhole() const { return m_headerBufferLength >= m_headerLength ? TRUE : FALSE; }

  // How long the row plays, whether or not it can be delivered: every row
  // moves its stream's time on by this, so later rows keep their times.
  REFERENCE_TIME RowDuration(const FilmSampleEntry& row) const;

  DWORD m_dataOffset = 0;
  std::unique_ptr<BYTE[]> m_headerBuffer;   // owned: copy of the sample-table region, or none
  std::unique_ptr<BYTE[]> m_stagingBuffer;  // owned: film::kStagingBufferLength bytes, or none
  DWORD m_headerLength = 0;
  DWORD m_entryCount = 0;
  DWORD m_audioChunkCount = 0;
  DWORD m_videoChunkCount = 0;
  LONGLONG m_videoTicks = 0;  // the last video row's start plus its duration
  DWORD m_timeBase = 0;
  WAVEFORMATEX m_waveFormat = {};
  VIDEOINFOHEADER m_videoInfo = {};

 private:
  // The rows of the table copy, bounds-checked.
  CFilmSampleTable Table() const;
  void FillFormats(const BYTE* header);
  HRESULT ReadSampleTable(CFilmByteSource* source, LONGLONG fileLength);
  // Bytes of the table region that lie before fileLength (at least 48).
  DWORD RegionBytesInFile(LONGLONG fileLength) const;
  // Counts the rows of each stream and finds where the last chunk ends.
  void ClassifyRows();

  // Size of the buffer m_headerBuffer holds: the part of the region the file
  // holds, and a failed parse may change m_headerLength while the previous
  // buffer is kept.
  DWORD m_headerBufferLength = 0;
  LONGLONG m_fileEnd = 0;
};
