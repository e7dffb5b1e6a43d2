#pragma once

#include <cstdint>

#include "film/CBigEndianReader.h"
#include "film/FilmLayout.h"
#include "film/FilmRowPlan.h"
#include "film/FilmRules.h"
#include "film/FilmSampleEntry.h"

// A bounds-checked view of a FILM sample table: the bytes of the table
// region a file holds (borrowed), from the table head on, and the region's
// length as the data offset declares it. Whatever a hostile table says,
// every row it gives lies inside those bytes. The module streams the rows it
// admits, and the host and the FILM writer look at the same ones; plain
// standard C++, part of the FILM library.
class CFilmSampleTable {
 public:
  CFilmSampleTable(const uint8_t* bytes, uint32_t length, uint32_t regionLength)
      : m_reader(bytes, bytes != nullptr ? length : 0), m_regionLength(regionLength) {}

  // Fields of the table head; 0 when the bytes do not hold them.
  uint32_t TableLength() const { return m_reader.U32(film::kTableLengthField); }
  uint32_t TimeBase() const { return m_reader.U32(film::kTableTimeBaseField); }
  uint32_t EntryCount() const { return m_reader.U32(film::kTableEntryCountField); }

  // Whole rows the bytes hold.
  uint32_t RowsHeld() const { return RowsIn(m_reader.Length()); }

  // Rows the table length admits inside the region, whether the bytes hold
  // them or a file cut short lost them.
  uint32_t RowsDeclared() const {
    return Lesser(film::RowsAdmitted(TableLength()), RowsIn(m_regionLength));
  }

  // The rows that play: those the table length admits that the bytes hold.
  uint32_t StreamedRows() const { return Lesser(RowsDeclared(), RowsHeld()); }

  // Row index, which must be below RowsHeld(); any other reads as zeros.
  FilmSampleEntry Row(uint32_t index) const {
    const uint64_t at = film::kTableHeadLength + uint64_t{film::kRowLength} * index;
    if (index >= RowsHeld()) {
      return FilmSampleEntry{0, 0, 0, 0};
    }
    return FilmSampleEntry{
        m_reader.U32(at + film::kRowChunkOffset), m_reader.U32(at + film::kRowChunkLength),
        m_reader.U32(at + film::kRowTimeInfo), m_reader.U32(at + film::kRowDurationTicks)};
  }

  // One past the last streamed row of the stream (audio or video) that has
  // something to play in a file of fileLength bytes whose chunks count from
  // dataOffset; 0 when none has. A stream ends there: the rows after it need
  // not be read.
  uint32_t StreamEndRow(bool audio, uint32_t dataOffset, int64_t fileLength, uint32_t channels,
                        uint32_t bitsPerSample) const {
    // From the end: a cut-off movie's missing tail is all that is looked at.
    const film::RowFormat format = {dataOffset, channels, bitsPerSample};
    for (uint32_t index = StreamedRows(); index > 0; --index) {
      const film::RowPlan plan = film::PlanRow(Row(index - 1), format, fileLength);
      if (plan.audio == audio && plan.holdsData) {
        return index;
      }
    }
    return 0;
  }

 private:
  static uint32_t RowsIn(uint32_t bytes) {
    return bytes >= film::kTableHeadLength ? (bytes - film::kTableHeadLength) / film::kRowLength
                                           : 0;
  }
  static uint32_t Lesser(uint32_t a, uint32_t b) { return a < b ? a : b; }

  CBigEndianReader m_reader;  // over the borrowed bytes
  uint32_t m_regionLength;
};
