#include "filmwriter/FilmWriter.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>

namespace filmwriter {

namespace {

// The two bytes a stored frame keeps after its head and the delivered one drops.
constexpr uint32_t kStoredFrameGapBytes = film::kVideoBodyOffset - film::kVideoHeadLength;
constexpr uint8_t kStoredFrameGap[kStoredFrameGapBytes] = {0xA5, 0x5A};

void PutBytes(std::vector<uint8_t>& file, uint64_t position, const uint8_t* bytes, size_t count) {
  if (count == 0 || position >= file.size()) {
    return;
  }
  size_t room = static_cast<size_t>(file.size() - position);
  std::memcpy(file.data() + position, bytes, std::min(count, room));
}

void PutU32(std::vector<uint8_t>& file, uint64_t position, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                            static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
  PutBytes(file, position, bytes, sizeof(bytes));
}

void PutTag(std::vector<uint8_t>& file, uint64_t position, const char* tag) {
  PutBytes(file, position, reinterpret_cast<const uint8_t*>(tag), 4);
}

bool IsConvertedLayout(uint8_t channels, uint8_t bitsPerSample) {
  return (channels == 1 || channels == 2) && (bitsPerSample == 8 || bitsPerSample == 16);
}

}  // namespace

FilmWriter::FilmWriter(const FilmFormat& format) : m_format(format) {}

uint32_t FilmWriter::AddAudio(const std::vector<uint8_t>& pcm) {
  Row row;
  row.kind = RowKind::Audio;
  row.timeInfo = film::kAudioTimeInfo;
  row.payload = pcm;
  m_rows.push_back(std::move(row));
  return static_cast<uint32_t>(m_rows.size() - 1);
}

uint32_t FilmWriter::AddVideo(const std::vector<uint8_t>& frame, uint32_t durationTicks,
                              bool syncPoint, std::optional<uint32_t> startTicks) {
  uint32_t start = startTicks.value_or(m_nextVideoStart) & ~film::kNotSyncPointFlag;
  m_nextVideoStart = start + durationTicks;
  Row row;
  row.kind = RowKind::Video;
  row.timeInfo = start | (syncPoint ? 0 : film::kNotSyncPointFlag);
  row.durationTicks = durationTicks;
  row.payload = frame;
  m_rows.push_back(std::move(row));
  return static_cast<uint32_t>(m_rows.size() - 1);
}

uint32_t FilmWriter::AddStoredRow(uint32_t timeInfo, uint32_t durationTicks,
                                  std::vector<uint8_t> chunk,
                                  std::optional<std::vector<uint8_t>> delivered) {
  Row row;
  row.kind = RowKind::Stored;
  row.timeInfo = timeInfo;
  row.durationTicks = durationTicks;
  row.payload = std::move(chunk);
  row.delivered = std::move(delivered);
  m_rows.push_back(std::move(row));
  return static_cast<uint32_t>(m_rows.size() - 1);
}

void FilmWriter::SetChunkOffset(uint32_t row, uint32_t chunkOffset) {
  if (row < m_rows.size()) {
    m_rows[row].chunkOffset = chunkOffset;
  }
}

std::vector<uint8_t> FilmWriter::EncodeAudio(const std::vector<uint8_t>& pcm, uint8_t channels,
                                             uint8_t bitsPerSample) {
  if (!IsConvertedLayout(channels, bitsPerSample)) {
    return pcm;
  }
  const size_t length = pcm.size();
  const size_t half = length / 2;
  std::vector<uint8_t> stored(length, 0);
  if (channels == 1 && bitsPerSample == 8) {
    for (size_t i = 0; i < length; ++i) {
      stored[i] = static_cast<uint8_t>(pcm[i] ^ 0x80);
    }
  } else if (channels == 1) {
    for (size_t k = 0; k < half; ++k) {
      stored[2 * k] = pcm[2 * k + 1];
      stored[2 * k + 1] = pcm[2 * k];
    }
  } else if (bitsPerSample == 8) {
    for (size_t k = 0; k < half; ++k) {
      stored[k] = static_cast<uint8_t>(pcm[2 * k] ^ 0x80);
      stored[half + k] = static_cast<uint8_t>(pcm[2 * k + 1] ^ 0x80);
    }
  } else {
    for (size_t k = 0; k < length / 4; ++k) {
      stored[2 * k] = pcm[4 * k + 1];
      stored[2 * k + 1] = pcm[4 * k];
      stored[half + 2 * k] = pcm[4 * k + 3];
      stored[half + 2 * k + 1] = pcm[4 * k + 2];
    }
  }
  return stored;
}

std::vector<uint8_t> FilmWriter::EncodeVideo(const std::vector<uint8_t>& frame) {
  std::vector<uint8_t> stored = frame;
  if (stored.size() >= 4) {
    uint32_t head =
        CBigEndianReader(stored.data(), static_cast<uint32_t>(stored.size())).U32(0) - 6;
    stored[0] = static_cast<uint8_t>(head >> 24);
    stored[1] = static_cast<uint8_t>(head >> 16);
    stored[2] = static_cast<uint8_t>(head >> 8);
    stored[3] = static_cast<uint8_t>(head);
  }
  size_t gapAt = std::min<size_t>(stored.size(), film::kVideoHeadLength);
  stored.insert(stored.begin() + static_cast<std::ptrdiff_t>(gapAt), kStoredFrameGap,
                kStoredFrameGap + kStoredFrameGapBytes);
  return stored;
}

std::vector<uint8_t> FilmWriter::StoredChunk(const Row& row) const {
  switch (row.kind) {
    case RowKind::Audio:
      return EncodeAudio(row.payload, m_format.channels, m_format.bitsPerSample);
    case RowKind::Video:
      return EncodeVideo(row.payload);
    case RowKind::Stored:
      break;
  }
  return row.payload;
}

FilmWriter::Placement FilmWriter::Place() const {
  Placement placement;
  const uint64_t rows = m_rows.size();
  const uint64_t tableBytes = film::kTableHeadLength + film::kRowLength * rows;
  const uint64_t naturalOffset = film::kHeaderLength + tableBytes + m_layout.regionPadding;
  placement.tableLength = m_layout.tableLength.value_or(static_cast<uint32_t>(tableBytes));
  placement.entryCount = m_layout.entryCount.value_or(static_cast<uint32_t>(rows));
  placement.dataOffset = m_layout.dataOffset.value_or(static_cast<uint32_t>(naturalOffset));

  // Chunk data never overlaps the table, even when the data offset claims it does.
  uint64_t position = std::max<uint64_t>(naturalOffset, placement.dataOffset);
  for (const Row& row : m_rows) {
    uint64_t chunkBytes = StoredChunk(row).size();
    if (row.chunkOffset) {
      placement.chunkOffsets.push_back(*row.chunkOffset);
      placement.chunkPositions.push_back(
          film::ChunkPosition(placement.dataOffset, *row.chunkOffset));
      continue;
    }
    placement.chunkOffsets.push_back(static_cast<uint32_t>(position - placement.dataOffset));
    placement.chunkPositions.push_back(position);
    position += chunkBytes;
  }
  placement.fullSize = std::max<uint64_t>(position, film::kHeaderLength + tableBytes);
  placement.fileSize = std::min(placement.fullSize, m_layout.truncateTo.value_or(UINT64_MAX));
  return placement;
}

std::vector<uint8_t> FilmWriter::Build() const {
  const Placement placement = Place();
  std::vector<uint8_t> file(static_cast<size_t>(placement.fileSize), 0);

  PutTag(file, 0, "FILM");
  PutU32(file, film::kHeaderDataOffset, placement.dataOffset);
  PutTag(file, 8, "1.09");
  PutTag(file, 16, "FDSC");
  PutU32(file, 20, 0x20);
  PutTag(file, 24, "cvid");
  PutU32(file, film::kHeaderHeight, m_format.height);
  PutU32(file, film::kHeaderWidth, m_format.width);
  // Bit count, channels and bits per sample lie side by side.
  const uint8_t formatBytes[3] = {m_format.bitCount, m_format.channels, m_format.bitsPerSample};
  PutBytes(file, film::kHeaderBitCount, formatBytes, sizeof(formatBytes));
  const uint8_t rate[2] = {static_cast<uint8_t>(m_format.sampleRate >> 8),
                           static_cast<uint8_t>(m_format.sampleRate)};
  PutBytes(file, film::kHeaderSampleRate, rate, sizeof(rate));

  PutTag(file, film::kHeaderLength, "STAB");
  PutU32(file, film::kHeaderLength + film::kTableLengthField, placement.tableLength);
  PutU32(file, film::kHeaderLength + film::kTableTimeBaseField, m_format.timeBase);
  PutU32(file, film::kHeaderLength + film::kTableEntryCountField, placement.entryCount);
  for (size_t i = 0; i < m_rows.size(); ++i) {
    const Row& row = m_rows[i];
    const std::vector<uint8_t> chunk = StoredChunk(row);
    const uint64_t rowAt = film::kHeaderLength + film::kTableHeadLength + film::kRowLength * i;
    PutU32(file, rowAt + film::kRowChunkOffset, placement.chunkOffsets[i]);
    PutU32(file, rowAt + film::kRowChunkLength, static_cast<uint32_t>(chunk.size()));
    PutU32(file, rowAt + film::kRowTimeInfo, row.timeInfo);
    PutU32(file, rowAt + film::kRowDurationTicks, row.durationTicks);
    PutBytes(file, placement.chunkPositions[i], chunk.data(), chunk.size());
  }
  return file;
}

bool FilmWriter::WriteFile(const std::string& path) const {
  const std::vector<uint8_t> file = Build();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    return false;
  }
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  return static_cast<bool>(out);
}

bool FilmWriter::PredictPayload(const Row& row, std::vector<uint8_t>* payload,
                                uint32_t* determinedLength) const {
  switch (row.kind) {
    case RowKind::Audio:
    case RowKind::Video:
      *payload = row.payload;
      *determinedLength = static_cast<uint32_t>(payload->size());
      return true;
    case RowKind::Stored:
      break;
  }
  if (!row.delivered) {
    return false;
  }
  *payload = *row.delivered;
  *determinedLength = static_cast<uint32_t>(payload->size());
  return true;
}

FilmExpectation FilmWriter::Expect() const {
  const Placement placement = Place();
  const std::vector<uint8_t> file = Build();
  const uint64_t fileSize = file.size();

  FilmExpectation expect;
  expect.dataOffset = placement.dataOffset;
  expect.headerLength =
      placement.dataOffset > film::kHeaderLength ? placement.dataOffset - film::kHeaderLength : 0;
  expect.blockAlign =
      static_cast<uint16_t>((uint32_t{m_format.bitsPerSample} * m_format.channels) / 8);
  expect.avgBytesPerSec = uint32_t{m_format.sampleRate} * expect.blockAlign;
  // A file cut before the end of the table head is refused; one cut later
  // keeps the rows that exist.
  expect.parses = fileSize >= film::kShortestFile && expect.headerLength >= film::kTableHeadLength;
  if (!expect.parses) {
    return expect;
  }

  // The part of the region the file holds, as the splitter reads it.
  const uint32_t regionSize = static_cast<uint32_t>(
      std::min<uint64_t>(expect.headerLength, fileSize - film::kHeaderLength));
  const CFilmSampleTable table(file.data() + film::kHeaderLength, regionSize, regionSize);
  expect.tableLength = table.TableLength();
  expect.timeBase = table.TimeBase();
  expect.entryCount = table.EntryCount();

  const uint32_t classified = std::min(expect.entryCount, table.RowsHeld());
  for (uint32_t i = 0; i < classified; ++i) {
    const FilmSampleEntry row = table.Row(i);
    if (row.timeInfo == film::kAudioTimeInfo) {
      ++expect.audioChunkCount;
      continue;
    }
    ++expect.videoChunkCount;
    expect.videoTicks = static_cast<uint64_t>(film::VideoEndTick(row.timeInfo, row.durationTicks));
  }
  expect.hasAudioOutput = m_format.channels > 0;
  expect.hasVideoOutput = expect.videoChunkCount > 0;

  int64_t audioTime = 0;
  int64_t videoTime = 0;
  bool audioAfterLoss = false;
  bool videoAfterLoss = false;
  const uint32_t streamed = table.StreamedRows();
  // Each stream ends after its last row that holds something of the file.
  const uint64_t audioEnd =
      table.StreamEndRow(true, placement.dataOffset, static_cast<int64_t>(fileSize),
                         m_format.channels, m_format.bitsPerSample);
  const uint64_t videoEnd =
      table.StreamEndRow(false, placement.dataOffset, static_cast<int64_t>(fileSize),
                         m_format.channels, m_format.bitsPerSample);
  for (uint32_t index = 0; index < streamed; ++index) {
    const uint64_t i = index;
    ++expect.streamedRows;
    const FilmSampleEntry row = table.Row(index);
    const uint32_t length = row.chunkLength;
    const uint32_t timeInfo = row.timeInfo;
    const uint32_t durationTicks = row.durationTicks;
    const uint64_t position = film::ChunkPosition(placement.dataOffset, row.chunkOffset);
    const bool audio = timeInfo == film::kAudioTimeInfo;
    const int64_t fileLength = static_cast<int64_t>(fileSize);
    const uint32_t present =
        film::ChunkBytesInFile(static_cast<int64_t>(position), length, fileLength);

    bool deliverable;
    uint32_t deliveredLength = length;
    // Every row of a stream takes its time, delivered or not.
    int64_t& streamTime = audio ? audioTime : videoTime;
    const int64_t start = streamTime;
    if (audio) {
      // Audio goes out in whole frames only.
      deliveredLength =
          film::CutAudioChunk(length, present, m_format.channels, m_format.bitsPerSample)
              .deliveredLength;
      deliverable = expect.hasAudioOutput && length <= film::kStagingBufferLength &&
                    (length == 0 || deliveredLength > 0);
    } else {
      deliverable = expect.hasVideoOutput && film::VideoChunkDeliverable(length) &&
                    film::ChunkWhollyInFile(static_cast<int64_t>(position), length, fileLength);
    }
    streamTime = film::AdvanceTime(
        streamTime,
        film::RowDuration(timeInfo, length, durationTicks, expect.avgBytesPerSec, expect.timeBase));
    bool& afterLoss = audio ? audioAfterLoss : videoAfterLoss;
    if (!deliverable || i >= (audio ? audioEnd : videoEnd)) {
      expect.droppedRows.push_back(index);
      afterLoss = true;
      continue;
    }

    std::vector<uint8_t> payload;
    uint32_t determined = 0;
    bool known = i < m_rows.size() && PredictPayload(m_rows[i], &payload, &determined);
    if (known && m_rows[i].chunkOffset) {
      // A moved chunk is only predictable when it reads its own stored bytes.
      const std::vector<uint8_t> chunk = StoredChunk(m_rows[i]);
      known = chunk.size() == length &&
              std::equal(chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(present),
                         file.begin() + static_cast<std::ptrdiff_t>(position));
    }
    if (known && deliveredLength < length) {
      // A cut chunk delivers the first frames of the whole one, except in a
      // planar pair that goes out unconverted.
      known =
          m_rows[i].kind == RowKind::Audio &&
          (m_format.channels != 2 || IsConvertedLayout(m_format.channels, m_format.bitsPerSample));
      payload.resize(deliveredLength);
      determined = deliveredLength;
    }
    if (!known) {
      expect.unpredictedRows.push_back(index);
      continue;
    }

    ExpectedSample sample;
    sample.row = index;
    sample.payload = std::move(payload);
    sample.determinedLength = determined;
    sample.start = start;
    sample.discontinuity = afterLoss;
    afterLoss = false;
    if (audio) {
      sample.stream = Stream::Audio;
      sample.stop = film::AdvanceTime(
          start, film::AudioChunkDuration(deliveredLength, expect.avgBytesPerSec));
    } else {
      sample.stream = Stream::Video;
      sample.stop = streamTime;
      sample.syncPoint = (timeInfo & film::kNotSyncPointFlag) == 0;
    }
    expect.samples.push_back(std::move(sample));
  }
  return expect;
}

}  // namespace filmwriter
