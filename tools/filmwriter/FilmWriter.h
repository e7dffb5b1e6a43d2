// Builds FILM files for tests, benchmarks, fuzz seeds and the host, and
// predicts what a splitter delivers from them. Plain standard C++.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The writer lays files out and foretells by the FILM library's layout and
// rules, the module's own.
#include "film/CFilmSampleTable.h"
#include "film/FilmLayout.h"
#include "film/FilmRules.h"

namespace filmwriter {

// Header fields of the file.
struct FilmFormat {
  uint32_t width = 160;
  uint32_t height = 120;
  uint8_t bitCount = 24;
  uint8_t channels = 1;
  uint8_t bitsPerSample = 8;
  uint16_t sampleRate = 22050;
  uint32_t timeBase = 600;  // video ticks per second
};

// Switches that make a malformed file; each unset one keeps the layout sound.
struct FilmLayout {
  std::optional<uint32_t> dataOffset;   // instead of the end of table and padding
  std::optional<uint32_t> entryCount;   // instead of the number of rows
  std::optional<uint32_t> tableLength;  // instead of 16 + 16 × rows
  uint32_t regionPadding = 0;           // zero bytes between the last row and the chunk data
  std::optional<uint64_t> truncateTo;   // the file ends here
};

enum class Stream { Audio, Video };

// One sample as a splitter delivers it.
struct ExpectedSample {
  Stream stream = Stream::Audio;
  uint32_t row = 0;  // sample-table row it comes from
  // Delivered bytes: L cut to whole frames for audio, L − 2 for video.
  std::vector<uint8_t> payload;
  uint32_t determinedLength = 0;  // the payload's length
  int64_t start = 0;              // 100-ns units
  int64_t stop = 0;
  bool syncPoint = false;
  bool discontinuity = false;  // a row of its stream before it was dropped
};

// What parsing and streaming the file gives from a byte source that tells
// its length: a file cut short keeps the table rows that exist, delivers the
// video frames wholly in the file and the whole audio frames that exist.
struct FilmExpectation {
  bool parses = false;
  uint32_t dataOffset = 0;
  uint32_t headerLength = 0;  // 0 when the data offset leaves no table region
  uint32_t tableLength = 0;
  uint32_t entryCount = 0;
  uint32_t timeBase = 0;
  uint32_t audioChunkCount = 0;  // among the declared rows that fit the region
  uint32_t videoChunkCount = 0;
  uint64_t videoTicks = 0;
  uint16_t blockAlign = 0;
  uint32_t avgBytesPerSec = 0;
  bool hasAudioOutput = false;
  bool hasVideoOutput = false;
  uint32_t streamedRows = 0;            // rows the table length admits inside the region
  std::vector<ExpectedSample> samples;  // in delivery order
  std::vector<uint32_t> droppedRows;    // streamed rows that deliver nothing
  // Streamed rows whose delivery the writer cannot foretell: stored rows
  // without a delivered payload, moved chunks that do not read their own
  // bytes. Their time passes like any other row's.
  std::vector<uint32_t> unpredictedRows;
};

class FilmWriter {
 public:
  explicit FilmWriter(const FilmFormat& format = FilmFormat());

  FilmFormat& Format() { return m_format; }
  FilmLayout& Layout() { return m_layout; }

  // Appends an audio row whose delivered payload is pcm: interleaved,
  // little-endian, unsigned 8-bit or signed 16-bit for the converted layouts,
  // any bytes for the others. Returns the row index.
  uint32_t AddAudio(const std::vector<uint8_t>& pcm);

  // Appends a video row whose delivered frame is frame (at least 10 bytes).
  // startTicks defaults to the sum of the earlier video rows' durations.
  uint32_t AddVideo(const std::vector<uint8_t>& frame, uint32_t durationTicks,
                    bool syncPoint = true, std::optional<uint32_t> startTicks = std::nullopt);

  // Appends a row exactly as stored (for hostile rows: short frames, odd
  // tags). A row no output could take is predicted dropped; otherwise
  // delivered gives its payload, or the row is listed as unpredicted.
  uint32_t AddStoredRow(uint32_t timeInfo, uint32_t durationTicks, std::vector<uint8_t> chunk,
                        std::optional<std::vector<uint8_t>> delivered = std::nullopt);

  // Points a row at another chunk offset (for example past the end of the file).
  void SetChunkOffset(uint32_t row, uint32_t chunkOffset);

  size_t RowCount() const { return m_rows.size(); }

  std::vector<uint8_t> Build() const;
  bool WriteFile(const std::string& path) const;
  FilmExpectation Expect() const;

  // Stored form of a delivered payload, as the file keeps it.
  static std::vector<uint8_t> EncodeAudio(const std::vector<uint8_t>& pcm, uint8_t channels,
                                          uint8_t bitsPerSample);
  static std::vector<uint8_t> EncodeVideo(const std::vector<uint8_t>& frame);

 private:
  enum class RowKind { Audio, Video, Stored };
  struct Row {
    RowKind kind = RowKind::Stored;
    uint32_t timeInfo = 0;
    uint32_t durationTicks = 0;
    // Audio and video: the delivered payload, encoded when the file is built
    // (so that later format changes apply). Stored: the chunk as stored.
    std::vector<uint8_t> payload;
    std::optional<std::vector<uint8_t>> delivered;  // stored rows only
    std::optional<uint32_t> chunkOffset;
  };
  struct Placement {
    uint32_t dataOffset = 0;
    uint32_t tableLength = 0;
    uint32_t entryCount = 0;
    uint64_t fullSize = 0;
    uint64_t fileSize = 0;
    std::vector<uint32_t> chunkOffsets;
    std::vector<uint64_t> chunkPositions;
  };

  Placement Place() const;
  std::vector<uint8_t> StoredChunk(const Row& row) const;
  // Delivered payload and its determined length, or nothing when unknown.
  bool PredictPayload(const Row& row, std::vector<uint8_t>* payload,
                      uint32_t* determinedLength) const;

  FilmFormat m_format;
  FilmLayout m_layout;
  std::vector<Row> m_rows;
  uint32_t m_nextVideoStart = 0;
};

}  // namespace filmwriter
