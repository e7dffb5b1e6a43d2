// What Explorer shows of a FILM movie: its formats and length, and the rows
// of its sample table, read once through bounded reads. The length is the
// splitter's: the end of the last video row, or for a movie without video the
// time its audio rows play, both by the FILM library's rules.
#pragma once

#include <cstdint>
#include <memory>

#include "film/CFilmSampleTable.h"
#include "shell/CMovieByteSource.h"

namespace tessaly::shell {

enum class SummaryStatus { kOk, kNotFilm, kNoMemory, kReadFailed };

class CMovieSummary {
 public:
  // Reads the header and the part of the table region the file holds.
  SummaryStatus Read(CMovieByteSource& source);

  uint32_t Width() const { return m_width; }
  uint32_t Height() const { return m_height; }
  uint32_t Channels() const { return m_channels; }
  uint32_t BitsPerSample() const { return m_bitsPerSample; }
  uint32_t SampleRate() const { return m_sampleRate; }
  uint32_t DataOffset() const { return m_dataOffset; }
  uint64_t FileLength() const { return m_fileLength; }
  uint32_t VideoRows() const { return m_videoRows; }
  uint32_t AudioRows() const { return m_audioRows; }

  // 100-ns units, as the splitter reports the movie's duration.
  int64_t Duration() const;
  // Frames per 1000 seconds, from the video rows and the time they play;
  // 0 without video.
  uint32_t FrameRateMillis() const;

  // The rows of the table the file holds.
  CFilmSampleTable Table() const;
  // How long a row plays, as the splitter times it.
  int64_t RowDuration(const FilmSampleEntry& row) const;

 private:
  void ReadFormats(const uint8_t* header);
  void CountRows();
  int64_t AudioDuration() const;

  std::unique_ptr<uint8_t[]> m_table;  // owned: the table region's bytes the file holds
  uint32_t m_tableLength = 0;
  uint32_t m_width = 0;
  uint32_t m_height = 0;
  uint32_t m_channels = 0;
  uint32_t m_bitsPerSample = 0;
  uint32_t m_sampleRate = 0;
  uint32_t m_dataOffset = 0;
  uint64_t m_fileLength = 0;
  uint32_t m_videoRows = 0;
  uint32_t m_audioRows = 0;
  int64_t m_videoTicks = 0;
  uint32_t m_timeBase = 0;
};

}  // namespace tessaly::shell
