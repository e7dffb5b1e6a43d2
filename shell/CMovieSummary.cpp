#include "shell/CMovieSummary.h"

#include <new>

#include "film/CBigEndianReader.h"
#include "film/FilmLayout.h"
#include "film/FilmRules.h"

namespace tessaly::shell {

SummaryStatus CMovieSummary::Read(CMovieByteSource& source) {
  m_fileLength = source.Length();
  if (m_fileLength < film::kShortestFile) {
    return SummaryStatus::kNotFilm;
  }
  uint8_t header[film::kHeaderLength] = {};
  uint32_t read = 0;
  if (!source.ReadAt(0, header, film::kHeaderLength, &read)) {
    return SummaryStatus::kReadFailed;
  }
  if (read != film::kHeaderLength) {
    return SummaryStatus::kNotFilm;
  }
  ReadFormats(header);
  // The same bounds as the splitter's parse: no table inside the header, and
  // no hostile region of gigabytes.
  const uint32_t region =
      m_dataOffset > film::kHeaderLength ? m_dataOffset - film::kHeaderLength : 0;
  if (region < film::kTableHeadLength || region > film::kMaxSampleTableRegion) {
    return SummaryStatus::kNotFilm;
  }
  const uint64_t inFile = m_fileLength - film::kHeaderLength;
  const uint32_t present = inFile < region ? static_cast<uint32_t>(inFile) : region;
  m_table.reset(new (std::nothrow) uint8_t[present]());
  if (m_table == nullptr) {
    return SummaryStatus::kNoMemory;
  }
  if (!source.ReadAt(film::kHeaderLength, m_table.get(), present, &read)) {
    return SummaryStatus::kReadFailed;
  }
  m_tableLength = read < present ? read : present;
  if (m_tableLength < film::kTableHeadLength) {
    return SummaryStatus::kNotFilm;
  }
  CountRows();
  return SummaryStatus::kOk;
}

void CMovieSummary::ReadFormats(const uint8_t* header) {
  CBigEndianReader reader(header, film::kHeaderLength);
  uint8_t channels = 0;
  uint8_t bitsPerSample = 0;
  uint16_t sampleRate = 0;
  reader.ReadU32(film::kHeaderDataOffset, &m_dataOffset);
  reader.ReadU32(film::kHeaderHeight, &m_height);
  reader.ReadU32(film::kHeaderWidth, &m_width);
  reader.ReadU8(film::kHeaderChannels, &channels);
  reader.ReadU8(film::kHeaderBitsPerSample, &bitsPerSample);
  reader.ReadU16(film::kHeaderSampleRate, &sampleRate);
  m_channels = channels;
  m_bitsPerSample = bitsPerSample;
  m_sampleRate = sampleRate;
}

CFilmSampleTable CMovieSummary::Table() const {
  return CFilmSampleTable(m_table.get(), m_tableLength, m_tableLength);
}

void CMovieSummary::CountRows() {
  const CFilmSampleTable table = Table();
  m_timeBase = table.TimeBase();
  // The splitter counts the declared rows the bytes hold; its length comes
  // from the last video row among them.
  uint32_t rows = table.RowsHeld();
  rows = table.EntryCount() < rows ? table.EntryCount() : rows;
  for (uint32_t index = 0; index < rows; ++index) {
    const FilmSampleEntry row = table.Row(index);
    if (row.timeInfo == film::kAudioTimeInfo) {
      ++m_audioRows;
      continue;
    }
    ++m_videoRows;
    m_videoTicks = film::VideoEndTick(row.timeInfo, row.durationTicks);
  }
}

int64_t CMovieSummary::RowDuration(const FilmSampleEntry& row) const {
  const uint32_t blockAlign = m_bitsPerSample * m_channels / 8;
  return film::RowDuration(row.timeInfo, row.chunkLength, row.durationTicks,
                           m_sampleRate * blockAlign, m_timeBase);
}

int64_t CMovieSummary::AudioDuration() const {
  // As the splitter's index: every streamed audio row plays its time.
  const CFilmSampleTable table = Table();
  int64_t end = 0;
  for (uint32_t index = 0; index < table.StreamedRows(); ++index) {
    const FilmSampleEntry row = table.Row(index);
    if (row.timeInfo == film::kAudioTimeInfo) {
      end = film::AdvanceTime(end, RowDuration(row));
    }
  }
  return end;
}

int64_t CMovieSummary::Duration() const {
  if (m_videoRows > 0) {
    return film::VideoFrameDuration(m_videoTicks, m_timeBase);
  }
  return AudioDuration();
}

uint32_t CMovieSummary::FrameRateMillis() const {
  const int64_t duration = m_videoRows > 0 ? Duration() : 0;
  if (duration <= 0) {
    return 0;
  }
  // The region bound keeps rows below 2^22, and the product inside 64 bits.
  const int64_t rate = static_cast<int64_t>(m_videoRows) * 1000 * film::kUnitsPerSecond / duration;
  return rate > 0xFFFFFFFFLL ? 0xFFFFFFFFu : static_cast<uint32_t>(rate);
}

}  // namespace tessaly::shell
