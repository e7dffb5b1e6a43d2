#include "StreamDescriptionCheck.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>

#include "com/CMediaTypeRecord.h"
#include "film/CCpkStreamDescription.h"
#include "film/FilmLayout.h"
#include "film/FilmRules.h"
#include "film/FilmSampleEntry.h"
#include "shaping/OutputMediaTypes.h"
#include "shaping/PayloadConversion.h"
#include "support/MemoryByteSource.h"

namespace fuzzcheck {
namespace {

constexpr uint8_t kFlagPastEndShort = 0x01;
constexpr uint8_t kFlagSecondParse = 0x02;

// Rows whose chunks one run reads and converts, and rows whose access is
// scanned one by one: enough for every layout without slow inputs.
constexpr DWORD kConvertedRows = 64;
constexpr DWORD kScannedRows = 256;

// The splitter's output sample buffer and its video chunk split.
constexpr DWORD kVideoSampleBuffer = 262144;
constexpr DWORD kVideoHeadLength = 10;
constexpr DWORD kVideoBodyOffset = 12;

DWORD BigEndian32(const uint8_t* p) {
  return (DWORD{p[0]} << 24) | (DWORD{p[1]} << 16) | (DWORD{p[2]} << 8) | DWORD{p[3]};
}

// A field that is not wholly inside the bytes reads as 0, as in the parse.
DWORD FieldAt(const std::vector<uint8_t>& bytes, uint64_t offset) {
  if (offset + 4 > bytes.size()) {
    return 0;
  }
  return BigEndian32(bytes.data() + offset);
}

void FillPattern(std::vector<BYTE>& bytes, uint8_t seed) {
  for (size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<BYTE>(seed + 31 * i);
  }
}

// An independent, byte-at-a-time statement of the audio conversion rules.
void ReferenceConvert(const BYTE* src, DWORD length, WORD channels, WORD bits, BYTE* dst) {
  DWORD half = length / 2;
  DWORD quarter = length / 4;
  if (channels == 1 && bits == 8) {
    for (DWORD i = 0; i < length; ++i) dst[i] = static_cast<BYTE>(src[i] + 128);
  } else if (channels == 1 && bits == 16) {
    for (DWORD k = 0; k < half; ++k) {
      dst[2 * k] = src[2 * k + 1];
      dst[2 * k + 1] = src[2 * k];
    }
  } else if (channels == 2 && bits == 8) {
    for (DWORD k = 0; k < half; ++k) {
      dst[2 * k] = static_cast<BYTE>(src[k] + 128);
      dst[2 * k + 1] = static_cast<BYTE>(src[half + k] + 128);
    }
  } else if (channels == 2 && bits == 16) {
    for (DWORD k = 0; k < quarter; ++k) {
      dst[4 * k] = src[2 * k + 1];
      dst[4 * k + 1] = src[2 * k];
      dst[4 * k + 2] = src[half + 2 * k + 1];
      dst[4 * k + 3] = src[half + 2 * k];
    }
  } else {
    for (DWORD i = 0; i < length; ++i) dst[i] = src[i];
  }
}

bool SameVideoInfo(const VIDEOINFOHEADER& a, const VIDEOINFOHEADER& b) {
  const BITMAPINFOHEADER& x = a.bmiHeader;
  const BITMAPINFOHEADER& y = b.bmiHeader;
  return a.rcSource.left == b.rcSource.left && a.rcSource.top == b.rcSource.top &&
         a.rcSource.right == b.rcSource.right && a.rcSource.bottom == b.rcSource.bottom &&
         a.rcTarget.left == b.rcTarget.left && a.rcTarget.top == b.rcTarget.top &&
         a.rcTarget.right == b.rcTarget.right && a.rcTarget.bottom == b.rcTarget.bottom &&
         a.dwBitRate == b.dwBitRate && a.dwBitErrorRate == b.dwBitErrorRate &&
         a.AvgTimePerFrame == b.AvgTimePerFrame && x.biSize == y.biSize && x.biWidth == y.biWidth &&
         x.biHeight == y.biHeight && x.biPlanes == y.biPlanes && x.biBitCount == y.biBitCount &&
         x.biCompression == y.biCompression && x.biSizeImage == y.biSizeImage &&
         x.biXPelsPerMeter == y.biXPelsPerMeter && x.biYPelsPerMeter == y.biYPelsPerMeter &&
         x.biClrUsed == y.biClrUsed && x.biClrImportant == y.biClrImportant;
}

bool SameWaveFormat(const WAVEFORMATEX& a, const WAVEFORMATEX& b) {
  return a.wFormatTag == b.wFormatTag && a.nChannels == b.nChannels &&
         a.nSamplesPerSec == b.nSamplesPerSec && a.nAvgBytesPerSec == b.nAvgBytesPerSec &&
         a.nBlockAlign == b.nBlockAlign && a.wBitsPerSample == b.wBitsPerSample &&
         a.cbSize == b.cbSize;
}

// What the description should hold, worked out from the bytes the reads
// delivered rather than from the parse's own code.
struct Model {
  DWORD dataOffset = 0;
  DWORD headerLength = 0;
  DWORD entryCount = 0;
  DWORD audioChunkCount = 0;
  DWORD videoChunkCount = 0;
  uint64_t videoTicks = 0;
  DWORD timeBase = 0;
  bool hasTable = false;
  std::vector<uint8_t> table;
  const BYTE* tablePointer = nullptr;  // not owned: the description's buffer when it was made
  WAVEFORMATEX wave = {};
  VIDEOINFOHEADER video = {};

  DWORD RowsInsideTable() const {
    return hasTable && table.size() >= film::kTableHeadLength
               ? static_cast<DWORD>((table.size() - film::kTableHeadLength) / film::kRowLength)
               : 0;
  }

  void ExpectFormats(const std::vector<uint8_t>& header) {
    DWORD height = BigEndian32(&header[film::kHeaderHeight]);
    DWORD width = BigEndian32(&header[film::kHeaderWidth]);
    BYTE channels = header[film::kHeaderChannels];
    BYTE bits = header[film::kHeaderBitsPerSample];
    WORD rate = static_cast<WORD>((header[film::kHeaderSampleRate] << 8) |
                                  header[film::kHeaderSampleRate + 1]);
    video = {};
    video.rcSource.right = static_cast<LONG>(width);
    video.rcSource.bottom = static_cast<LONG>(height);
    video.rcTarget = video.rcSource;
    video.dwBitRate = 2000;
    video.AvgTimePerFrame = 200000;
    video.bmiHeader.biSize = 40;
    video.bmiHeader.biWidth = static_cast<LONG>(width);
    video.bmiHeader.biHeight = static_cast<LONG>(height);
    video.bmiHeader.biPlanes = 1;
    video.bmiHeader.biBitCount = header[film::kHeaderBitCount];
    video.bmiHeader.biCompression = MAKEFOURCC('c', 'v', 'i', 'd');
    wave = {};
    wave.wFormatTag = 1;
    wave.nChannels = channels;
    wave.wBitsPerSample = bits;
    wave.nSamplesPerSec = rate;
    wave.nBlockAlign = static_cast<WORD>((bits * channels) / 8);
    wave.nAvgBytesPerSec = static_cast<DWORD>(rate) * wave.nBlockAlign;
  }

  void ClassifyRows() {
    timeBase = FieldAt(table, film::kTableTimeBaseField);
    entryCount = FieldAt(table, film::kTableEntryCountField);
    DWORD rows = std::min(entryCount, RowsInsideTable());
    audioChunkCount = 0;
    videoChunkCount = 0;
    DWORD start = 0;
    DWORD duration = 0;
    for (DWORD i = 0; i < rows; ++i) {
      uint64_t row = film::kTableHeadLength + uint64_t{i} * film::kRowLength;
      DWORD timeInfo = FieldAt(table, row + film::kRowTimeInfo);
      if (timeInfo == film::kAudioTimeInfo) {
        ++audioChunkCount;
        continue;
      }
      ++videoChunkCount;
      start = timeInfo & film::kVideoStartMask;
      duration = FieldAt(table, row + film::kRowDurationTicks);
    }
    videoTicks = videoChunkCount > 0 ? uint64_t{start} + duration : 0;
  }
};

class StreamDescriptionRun {
 public:
  StreamDescriptionRun(const uint8_t* data, size_t size, bool largeRegions)
      : m_control(StreamDescriptionControl::Decode(data, size)),
        m_largeRegions(largeRegions),
        m_file(size > StreamDescriptionControl::kLength ? data + StreamDescriptionControl::kLength
                                                        : nullptr),
        m_fileSize(size > StreamDescriptionControl::kLength
                       ? size - StreamDescriptionControl::kLength
                       : 0) {}

  std::string Run() {
    size_t offset = size_t{m_control.secondFileOffsetRows} * film::kRowLength;
    if (!m_largeRegions &&
        (ClaimsLargeRegion(0) || (m_control.secondParse && ClaimsLargeRegion(offset)))) {
      return {};
    }
    HRESULT constructed = S_OK;
    CCpkStreamDescription description(&constructed);
    m_description = &description;
    if (FAILED(constructed) || description.m_stagingBuffer == nullptr) {
      return "the description could not allocate its staging buffer";
    }
    if (!CheckState("after construction")) return m_failure;

    MemoryByteSource first(FileFrom(0));
    MemoryByteSource second(FileFrom(offset));
    if (m_control.pastEndShort) {
      first.SetPastEnd(MemoryByteSource::PastEnd::ShortRead);
      second.SetPastEnd(MemoryByteSource::PastEnd::ShortRead);
    }
    MemoryByteSource* last = &first;
    if (!CheckParse(first, m_control.firstHeaderRead, m_control.firstTableRead, "first parse") ||
        !CheckRows("first parse")) {
      return m_failure;
    }
    if (m_control.secondParse) {
      last = &second;
      if (!CheckParse(second, m_control.secondHeaderRead, m_control.secondTableRead,
                      "second parse") ||
          !CheckRows("second parse")) {
        return m_failure;
      }
    }
    if (!CheckChunks(*last) || !CheckShortFrames() || !CheckMediaTypes()) {
      return m_failure;
    }
    return {};
  }

 private:
  std::vector<uint8_t> FileFrom(size_t offset) const {
    return std::vector<uint8_t>(m_file + std::min(offset, m_fileSize), m_file + m_fileSize);
  }

  // Whether the file starting at offset claims a region the parse commits
  // but that is too large to fuzz quickly; a read that comes short can only
  // make the data offset smaller.
  bool ClaimsLargeRegion(size_t offset) const {
    uint8_t field[4] = {};
    for (size_t i = 0; i < 4; ++i) {
      size_t at = offset + film::kHeaderDataOffset + i;
      field[i] = at < m_fileSize ? m_file[at] : 0;
    }
    DWORD dataOffset = BigEndian32(field);
    DWORD region = dataOffset > film::kHeaderLength ? dataOffset - film::kHeaderLength : 0;
    return region > StreamDescriptionControl::kQuickRegionLimit &&
           region <= film::kMaxSampleTableRegion;
  }

  bool Fail(const std::string& what) {
    if (m_failure.empty()) m_failure = what;
    return false;
  }

  bool CheckParse(MemoryByteSource& source, uint8_t headerPlan, uint8_t tablePlan,
                  const std::string& when) {
    source.ForgetReads();
    source.Plan({headerPlan, tablePlan});
    HRESULT hr = m_description->ParseStreamDescription(&source);
    const std::vector<MemoryByteSource::Read> reads = source.Reads();
    if (reads.empty() || reads[0].position != 0 ||
        reads[0].length != static_cast<LONG>(film::kHeaderLength)) {
      return Fail(when + ": the header was not read as 48 bytes at 0");
    }
    if (FAILED(reads[0].result)) {
      return ExpectResult(hr, E_FAIL, reads.size(), 1, when + " (header read failed)") &&
             CheckState(when + " (header read failed)");
    }
    if (source.Bytes().size() < film::kShortestFile) {
      // Cut before the end of the table head: refused like a damaged header.
      return ExpectResult(hr, E_FAIL, reads.size(), 1, when + " (file cut in the table head)") &&
             CheckState(when + " (file cut in the table head)");
    }
    std::vector<uint8_t> header(film::kHeaderLength, 0);
    std::copy_n(source.Bytes().data(), reads[0].copied, header.begin());
    m_model.ExpectFormats(header);
    m_model.dataOffset = BigEndian32(&header[film::kHeaderDataOffset]);
    m_model.headerLength =
        m_model.dataOffset > film::kHeaderLength ? m_model.dataOffset - film::kHeaderLength : 0;

    if (m_model.headerLength < film::kTableHeadLength) {
      // No room for the table's head: the previous table stays, and with it
      // the previous rows.
      return ExpectResult(hr, E_FAIL, reads.size(), 1, when + " (no table region)") &&
             CheckState(when + " (no table region)");
    }
    if (m_model.headerLength > film::kMaxSampleTableRegion) {
      DropTable();
      return ExpectResult(hr, E_OUTOFMEMORY, reads.size(), 1, when + " (table region too large)") &&
             CheckState(when + " (table region too large)");
    }
    // Only the part of the region that the file holds is read.
    const DWORD present = static_cast<DWORD>(
        std::min<uint64_t>(m_model.headerLength, source.Bytes().size() - film::kHeaderLength));
    if (reads.size() < 2 || reads[1].position != film::kHeaderLength ||
        reads[1].length != static_cast<LONG>(present)) {
      return Fail(when + ": the table was not read as one piece at 48, up to the file's end");
    }
    // A short table read is made once more, into zeros.
    const size_t last = reads[1].result == S_FALSE ? 2 : 1;
    if (reads.size() <= last || reads[last].position != film::kHeaderLength ||
        reads[last].length != static_cast<LONG>(present)) {
      return Fail(when + ": a short table read was not made again as one piece");
    }
    if (FAILED(reads[last].result)) {
      DropTable();
      return ExpectResult(hr, E_FAIL, reads.size(), last + 1, when + " (table read failed)") &&
             CheckState(when + " (table read failed)");
    }
    m_model.hasTable = true;
    m_model.table.assign(present, 0);
    std::copy_n(source.Bytes().data() + film::kHeaderLength,
                std::min<size_t>(reads[last].copied, present), m_model.table.begin());
    m_model.tablePointer = m_description->m_headerBuffer.get();
    m_model.ClassifyRows();
    return ExpectResult(hr, S_OK, reads.size(), last + 1, when) && CheckState(when);
  }

  void DropTable() {
    m_model.hasTable = false;
    m_model.table.clear();
    m_model.tablePointer = nullptr;
  }

  bool ExpectResult(HRESULT hr, HRESULT expected, size_t reads, size_t expectedReads,
                    const std::string& when) {
    if (hr != expected) {
      return Fail(when + ": result " + std::to_string(hr) + ", expected " +
                  std::to_string(expected));
    }
    if (reads != expectedReads) {
      return Fail(when + ": " + std::to_string(reads) + " reads, expected " +
                  std::to_string(expectedReads));
    }
    return true;
  }

  bool CheckState(const std::string& when) {
    const CCpkStreamDescription& d = *m_description;
    const Model& m = m_model;
    if (d.m_dataOffset != m.dataOffset || d.m_headerLength != m.headerLength) {
      return Fail(when + ": data offset or region length differs");
    }
    if (d.m_entryCount != m.entryCount || d.m_timeBase != m.timeBase) {
      return Fail(when + ": entry count or time base differs");
    }
    if (d.m_audioChunkCount != m.audioChunkCount || d.m_videoChunkCount != m.videoChunkCount ||
        static_cast<uint64_t>(d.m_videoTicks) != m.videoTicks) {
      return Fail(when + ": row counts or video ticks differ");
    }
    if (!SameWaveFormat(d.m_waveFormat, m.wave) || !SameVideoInfo(d.m_videoInfo, m.video)) {
      return Fail(when + ": formats differ");
    }
    const BYTE* buffer = d.m_headerBuffer.get();
    if (!m.hasTable) {
      return buffer == nullptr || Fail(when + ": a table buffer is left");
    }
    if (buffer == nullptr || buffer != m.tablePointer) {
      return Fail(when + ": the table buffer is not the one expected");
    }
    if (!m.table.empty() && std::memcmp(buffer, m.table.data(), m.table.size()) != 0) {
      return Fail(when + ": the table buffer does not hold the bytes read");
    }
    return true;
  }

  bool CheckRow(DWORD index, const std::string& when) {
    const FilmSampleEntry sentinel = {0xDEADBEEFu, 0xFEEDFACEu, 0x0BADF00Du, 0xCAFEBABEu};
    FilmSampleEntry entry = sentinel;
    BOOL got = m_description->ReadSampleEntry(index, &entry);
    uint64_t rowEnd = (uint64_t{index} + 1) * film::kRowLength;
    bool exists = index < m_model.RowsInsideTable() &&
                  rowEnd < FieldAt(m_model.table, film::kTableLengthField);
    if ((got != FALSE) != exists) {
      return Fail(when + ": row " + std::to_string(index) +
                  (exists ? " is missing" : " is given though outside the table"));
    }
    if (!exists) {
      bool untouched =
          entry.chunkOffset == sentinel.chunkOffset && entry.chunkLength == sentinel.chunkLength &&
          entry.timeInfo == sentinel.timeInfo && entry.durationTicks == sentinel.durationTicks;
      return untouched || Fail(when + ": a refused row changed the entry");
    }
    uint64_t row = film::kTableHeadLength + uint64_t{index} * film::kRowLength;
    const std::vector<uint8_t>& t = m_model.table;
    if (entry.chunkOffset != FieldAt(t, row + film::kRowChunkOffset) ||
        entry.chunkLength != FieldAt(t, row + film::kRowChunkLength) ||
        entry.timeInfo != FieldAt(t, row + film::kRowTimeInfo) ||
        entry.durationTicks != FieldAt(t, row + film::kRowDurationTicks)) {
      return Fail(when + ": row " + std::to_string(index) + " differs from the table bytes");
    }
    return true;
  }

  bool CheckRows(const std::string& when) {
    if (m_description->ReadSampleEntry(0, nullptr)) {
      return Fail(when + ": a row was given without an entry to fill");
    }
    DWORD inside = m_model.RowsInsideTable();
    DWORD declared = FieldAt(m_model.table, film::kTableLengthField) / film::kRowLength;
    for (DWORD i = 0; i <= std::min(inside, kScannedRows) + 1; ++i) {
      if (!CheckRow(i, when)) return false;
    }
    // Either side of both bounds, and indices whose row offsets wrap in 32 bits.
    const DWORD edges[] = {inside - 1,   inside,      inside + 1,   declared - 2,
                           declared - 1, declared,    declared + 1, m_control.extraRowIndex,
                           0x0FFFFFFFu,  0x10000000u, 0x10000001u,  0x7FFFFFFFu,
                           0x80000000u,  0xFFFFFFFEu, 0xFFFFFFFFu};
    for (DWORD index : edges) {
      if (!CheckRow(index, when)) return false;
    }
    return true;
  }

  bool CheckChunks(MemoryByteSource& source) {
    std::vector<uint8_t> plan(2 * kConvertedRows);
    for (size_t k = 0; k < plan.size(); ++k) {
      plan[k] = ((m_control.chunkReadMask >> (k % 8)) & 1u) != 0 ? m_control.chunkRead : 0;
    }
    source.ForgetReads();
    source.Plan(plan);
    for (DWORD index = 0; index < kConvertedRows; ++index) {
      FilmSampleEntry row = {};
      if (!m_description->ReadSampleEntry(index, &row)) break;
      LONGLONG position = static_cast<LONGLONG>(m_description->m_dataOffset) + row.chunkOffset;
      bool ok = row.timeInfo == film::kAudioTimeInfo ? CheckAudioChunk(source, position, row)
                                                     : CheckVideoChunk(source, position, row);
      if (!ok) return false;
    }
    return true;
  }

  bool CheckAudioChunk(MemoryByteSource& source, LONGLONG position, const FilmSampleEntry& row) {
    DWORD length = row.chunkLength;
    // Longer chunks do not fit the staging buffer; the splitter drops them.
    if (length > film::kStagingBufferLength) return true;
    BYTE* staging = m_description->m_stagingBuffer.get();
    if (FAILED(source.ReadAt(position, static_cast<LONG>(length), staging))) return true;

    // Exact-length copies, so that a read or write past L trips AddressSanitizer.
    std::vector<BYTE> chunk(staging, staging + length);
    std::vector<BYTE> converted(length);
    FillPattern(converted, 0x5C);
    std::vector<BYTE> expected = converted;
    const WAVEFORMATEX& wave = m_description->m_waveFormat;
    ConvertAudioChunk(chunk.data(), length, wave.nChannels, wave.wBitsPerSample,
                      ChooseAudioConverters(), converted.data());
    ReferenceConvert(chunk.data(), length, wave.nChannels, wave.wBitsPerSample, expected.data());
    if (converted != expected) {
      return Fail("audio chunk of " + std::to_string(length) + " bytes, " +
                  std::to_string(wave.nChannels) + " channels, " +
                  std::to_string(wave.wBitsPerSample) + " bits: conversion differs");
    }
    REFERENCE_TIME duration = film::AudioChunkDuration(length, wave.nAvgBytesPerSec);
    REFERENCE_TIME expectedDuration =
        wave.nAvgBytesPerSec == 0
            ? 0
            : static_cast<REFERENCE_TIME>(length) * film::kUnitsPerSecond / wave.nAvgBytesPerSec;
    return duration == expectedDuration || Fail("audio chunk duration differs");
  }

  bool CheckVideoChunk(MemoryByteSource& source, LONGLONG position, const FilmSampleEntry& row) {
    DWORD length = row.chunkLength;
    // Shorter chunks have no body and longer ones do not fit a sample; both are dropped.
    if (length < kVideoBodyOffset || length - 2 > kVideoSampleBuffer) return true;
    std::vector<BYTE> frame(length - 2);
    FillPattern(frame, 0xC3);
    source.ReadAt(position, kVideoHeadLength, frame.data());
    if (FAILED(source.ReadAt(position + kVideoBodyOffset,
                             static_cast<LONG>(length - kVideoBodyOffset),
                             frame.data() + kVideoHeadLength))) {
      return true;
    }
    std::vector<BYTE> before = frame;
    if (!AdjustVideoFrame(frame.data(), length - 2)) {
      return Fail("a frame of " + std::to_string(length - 2) + " bytes was not adjusted");
    }
    DWORD head = BigEndian32(before.data()) + 6;
    if (BigEndian32(frame.data()) != head ||
        !std::equal(frame.begin() + 4, frame.end(), before.begin() + 4)) {
      return Fail("the adjusted frame differs from its head word plus 6");
    }
    DWORD timeBase = m_description->m_timeBase;
    REFERENCE_TIME expectedDuration =
        timeBase == 0
            ? 0
            : static_cast<REFERENCE_TIME>(row.durationTicks) * film::kUnitsPerSecond / timeBase;
    return film::VideoFrameDuration(row.durationTicks, timeBase) == expectedDuration ||
           Fail("video frame duration differs");
  }

  bool CheckShortFrames() {
    for (DWORD length = 0; length < 4; ++length) {
      std::unique_ptr<BYTE[]> frame(new BYTE[length == 0 ? 1 : length]);
      for (DWORD i = 0; i < length; ++i) {
        frame[i] = i < m_fileSize ? m_file[i] : static_cast<BYTE>(i);
      }
      std::vector<BYTE> before(frame.get(), frame.get() + length);
      if (AdjustVideoFrame(frame.get(), length) ||
          !std::equal(before.begin(), before.end(), frame.get())) {
        return Fail("a frame shorter than four bytes was adjusted");
      }
    }
    return true;
  }

  bool CheckMediaTypes() {
    CMediaTypeRecord audio;
    if (SUCCEEDED(BuildAudioMediaType(m_description->m_waveFormat, &audio)) &&
        (audio.cbFormat != sizeof(WAVEFORMATEX) || audio.pbFormat == nullptr ||
         std::memcmp(audio.pbFormat, &m_description->m_waveFormat, sizeof(WAVEFORMATEX)) != 0)) {
      return Fail("the audio media type does not carry the wave format");
    }
    CMediaTypeRecord video;
    if (SUCCEEDED(BuildVideoMediaType(m_description->m_videoInfo, &video)) &&
        (video.cbFormat != sizeof(VIDEOINFOHEADER) || video.pbFormat == nullptr ||
         std::memcmp(video.pbFormat, &m_description->m_videoInfo, sizeof(VIDEOINFOHEADER)) != 0)) {
      return Fail("the video media type does not carry the video header");
    }
    return true;
  }

  StreamDescriptionControl m_control;
  bool m_largeRegions;
  const uint8_t* m_file;  // borrowed: the fuzzer's input after the control block
  size_t m_fileSize;
  CCpkStreamDescription* m_description = nullptr;  // borrowed for the run
  Model m_model;
  std::string m_failure;
};

}  // namespace

std::vector<uint8_t> StreamDescriptionControl::Encode() const {
  std::vector<uint8_t> bytes(kLength, 0);
  bytes[0] = static_cast<uint8_t>((pastEndShort ? kFlagPastEndShort : 0) |
                                  (secondParse ? kFlagSecondParse : 0));
  bytes[1] = firstHeaderRead;
  bytes[2] = firstTableRead;
  bytes[3] = secondHeaderRead;
  bytes[4] = secondTableRead;
  bytes[5] = secondFileOffsetRows;
  bytes[6] = chunkRead;
  bytes[7] = chunkReadMask;
  bytes[8] = static_cast<uint8_t>(extraRowIndex >> 24);
  bytes[9] = static_cast<uint8_t>(extraRowIndex >> 16);
  bytes[10] = static_cast<uint8_t>(extraRowIndex >> 8);
  bytes[11] = static_cast<uint8_t>(extraRowIndex);
  return bytes;
}

StreamDescriptionControl StreamDescriptionControl::Decode(const uint8_t* data, size_t size) {
  uint8_t bytes[kLength] = {};
  std::copy_n(data, std::min(size, kLength), bytes);
  StreamDescriptionControl control;
  control.pastEndShort = (bytes[0] & kFlagPastEndShort) != 0;
  control.secondParse = (bytes[0] & kFlagSecondParse) != 0;
  control.firstHeaderRead = bytes[1];
  control.firstTableRead = bytes[2];
  control.secondHeaderRead = bytes[3];
  control.secondTableRead = bytes[4];
  control.secondFileOffsetRows = bytes[5];
  control.chunkRead = bytes[6];
  control.chunkReadMask = bytes[7];
  control.extraRowIndex = BigEndian32(bytes + 8);
  return control;
}

std::vector<uint8_t> MakeStreamDescriptionInput(const StreamDescriptionControl& control,
                                                const std::vector<uint8_t>& film) {
  std::vector<uint8_t> input = control.Encode();
  input.insert(input.end(), film.begin(), film.end());
  return input;
}

std::string CheckStreamDescriptionInput(const uint8_t* data, size_t size, bool largeRegions) {
  return StreamDescriptionRun(data, size, largeRegions).Run();
}

}  // namespace fuzzcheck
