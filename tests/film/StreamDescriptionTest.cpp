#include <gtest/gtest.h>
#include <platform/Faults.h>

#include <cstring>
#include <optional>
#include <random>
#include <vector>

#include "film/CCpkStreamDescription.h"
#include "film/CFilmSampleTable.h"
#include "film/FilmLayout.h"
#include "filmwriter/FilmWriter.h"
#include "support/MemoryByteSource.h"

using filmwriter::FilmWriter;
using platform::AllocationKind;

namespace {

std::vector<uint8_t> Frame(size_t length, uint8_t seed) {
  std::vector<uint8_t> frame(length);
  for (size_t i = 0; i < length; ++i) {
    frame[i] = static_cast<uint8_t>(seed + 7 * i);
  }
  return frame;
}

// Everything a parse may write, to tell which fields a failure changed.
struct Snapshot {
  DWORD dataOffset;
  DWORD headerLength;
  DWORD entryCount;
  DWORD audioChunkCount;
  DWORD videoChunkCount;
  DWORD videoTicks;
  DWORD timeBase;
  const BYTE* headerBuffer;
  WAVEFORMATEX waveFormat;
  VIDEOINFOHEADER videoInfo;

  explicit Snapshot(const CCpkStreamDescription& d)
      : dataOffset(d.m_dataOffset),
        headerLength(d.m_headerLength),
        entryCount(d.m_entryCount),
        audioChunkCount(d.m_audioChunkCount),
        videoChunkCount(d.m_videoChunkCount),
        videoTicks(d.m_videoTicks),
        timeBase(d.m_timeBase),
        headerBuffer(d.m_headerBuffer.get()),
        waveFormat(d.m_waveFormat),
        videoInfo(d.m_videoInfo) {}

  bool SameCounts(const Snapshot& o) const {
    return entryCount == o.entryCount && audioChunkCount == o.audioChunkCount &&
           videoChunkCount == o.videoChunkCount && videoTicks == o.videoTicks &&
           timeBase == o.timeBase;
  }
  bool SameFormats(const Snapshot& o) const {
    return std::memcmp(&waveFormat, &o.waveFormat, sizeof(waveFormat)) == 0 &&
           std::memcmp(&videoInfo, &o.videoInfo, sizeof(videoInfo)) == 0;
  }
};

class StreamDescriptionTest : public ::testing::Test {
 protected:
  HRESULT Parse(MemoryByteSource& source) { return description.ParseStreamDescription(&source); }
  HRESULT Parse(const FilmWriter& writer) {
    MemoryByteSource source(writer.Build());
    return Parse(source);
  }

  // A first, successful parse whose counts a failing parse must keep.
  void ParseKnownFilm() {
    FilmWriter writer;
    writer.AddAudio(Frame(100, 1));
    writer.AddVideo(Frame(20, 2), 40);
    writer.AddVideo(Frame(20, 3), 40, false);
    ASSERT_EQ(Parse(writer), S_OK);
    ASSERT_EQ(description.m_videoTicks, 80u);
  }

  // A film whose header differs from ParseKnownFilm's and whose data offset is chosen.
  static std::vector<uint8_t> OtherFilmWithDataOffset(uint32_t dataOffset) {
    filmwriter::FilmFormat format;
    format.channels = 2;
    format.bitsPerSample = 16;
    format.width = 320;
    FilmWriter writer(format);
    writer.AddVideo(Frame(30, 4), 10);
    writer.Layout().dataOffset = dataOffset;
    // A hostile data offset must not make the test build gigabytes.
    writer.Layout().truncateTo = 4096;
    return writer.Build();
  }

  LONGLONG ChunkPositionOf(DWORD row) const {
    FilmSampleEntry entry = {};
    EXPECT_TRUE(description.ReadSampleEntry(row, &entry));
    return static_cast<LONGLONG>(description.m_dataOffset) + entry.chunkOffset;
  }

  HRESULT constructed = S_OK;
  CCpkStreamDescription description{&constructed};
};

TEST_F(StreamDescriptionTest, StartsWithAStagingBufferAndNoTable) {
  EXPECT_EQ(constructed, S_OK);
  ASSERT_NE(description.m_stagingBuffer, nullptr);
  EXPECT_EQ(description.m_headerBuffer, nullptr);
  FilmSampleEntry entry = {};
  EXPECT_FALSE(description.ReadSampleEntry(0, &entry));
}

TEST(StreamDescriptionConstruction, ReportsAStagingBufferThatCannotBeAllocated) {
  platform::FailNthAllocation(AllocationKind::HeapObject, 1);
  HRESULT result = S_OK;
  CCpkStreamDescription description(&result);
  EXPECT_EQ(result, E_OUTOFMEMORY);
  EXPECT_EQ(description.m_stagingBuffer, nullptr);
}

TEST_F(StreamDescriptionTest, RoundTripsGeneratedFilms) {
  std::mt19937 rng(20240611);
  const uint8_t bitChoices[] = {8, 16, 4, 24};
  for (int film = 0; film < 300; ++film) {
    SCOPED_TRACE(film);
    filmwriter::FilmFormat format;
    format.width = rng() % 2000;
    format.height = rng();
    format.bitCount = static_cast<uint8_t>(rng());
    format.channels = static_cast<uint8_t>(rng() % 4);
    format.bitsPerSample = bitChoices[rng() % 4];
    format.sampleRate = static_cast<uint16_t>(rng());
    format.timeBase = rng() % 3 == 0 ? 0 : rng() % 100000;
    FilmWriter writer(format);

    struct Added {
      bool audio;
      uint32_t timeInfo;
      uint32_t duration;
      std::vector<uint8_t> stored;
    };
    std::vector<Added> added;
    uint32_t audioRows = 0;
    uint32_t videoRows = 0;
    uint32_t nextStart = rng() % 1000;
    uint32_t videoTicks = 0;
    const int rows = static_cast<int>(rng() % 40);
    for (int i = 0; i < rows; ++i) {
      if (rng() % 2 == 0) {
        std::vector<uint8_t> pcm = Frame(rng() % 300, static_cast<uint8_t>(i));
        writer.AddAudio(pcm);
        added.push_back({true, film::kAudioTimeInfo, 0,
                         FilmWriter::EncodeAudio(pcm, format.channels, format.bitsPerSample)});
        ++audioRows;
      } else {
        const bool sync = rng() % 3 != 0;
        const uint32_t duration = rng() % 5000;
        std::vector<uint8_t> frame = Frame(10 + rng() % 200, static_cast<uint8_t>(i));
        writer.AddVideo(frame, duration, sync, nextStart);
        added.push_back({false, nextStart | (sync ? 0 : film::kNotSyncPointFlag), duration,
                         FilmWriter::EncodeVideo(frame)});
        videoTicks = nextStart + duration;
        nextStart += duration;
        ++videoRows;
      }
    }
    writer.Layout().regionPadding = rng() % 3 == 0 ? rng() % 40 : 0;

    MemoryByteSource source(writer.Build());
    ASSERT_EQ(Parse(source), S_OK);
    const filmwriter::FilmExpectation expect = writer.Expect();
    ASSERT_TRUE(expect.parses);
    EXPECT_EQ(description.m_dataOffset, expect.dataOffset);
    EXPECT_EQ(description.m_headerLength, 16u + 16u * rows + writer.Layout().regionPadding);
    EXPECT_EQ(description.m_entryCount, static_cast<DWORD>(rows));
    EXPECT_EQ(description.m_audioChunkCount, audioRows);
    EXPECT_EQ(description.m_videoChunkCount, videoRows);
    EXPECT_EQ(description.m_videoTicks, videoTicks);
    EXPECT_EQ(description.m_timeBase, format.timeBase);

    EXPECT_EQ(description.m_waveFormat.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(description.m_waveFormat.nChannels, format.channels);
    EXPECT_EQ(description.m_waveFormat.wBitsPerSample, format.bitsPerSample);
    EXPECT_EQ(description.m_waveFormat.nSamplesPerSec, format.sampleRate);
    EXPECT_EQ(description.m_waveFormat.nBlockAlign, expect.blockAlign);
    EXPECT_EQ(description.m_waveFormat.nAvgBytesPerSec, expect.avgBytesPerSec);
    EXPECT_EQ(description.m_videoInfo.bmiHeader.biWidth, static_cast<LONG>(format.width));
    EXPECT_EQ(description.m_videoInfo.bmiHeader.biHeight, static_cast<LONG>(format.height));
    EXPECT_EQ(description.m_videoInfo.bmiHeader.biBitCount, format.bitCount);

    const std::vector<uint8_t>& file = source.Bytes();
    for (DWORD i = 0; i < added.size(); ++i) {
      FilmSampleEntry entry = {};
      ASSERT_TRUE(description.ReadSampleEntry(i, &entry));
      EXPECT_EQ(entry.timeInfo, added[i].timeInfo);
      if (!added[i].audio) {
        EXPECT_EQ(entry.durationTicks, added[i].duration);
      }
      ASSERT_EQ(entry.chunkLength, added[i].stored.size());
      const size_t at = description.m_dataOffset + entry.chunkOffset;
      ASSERT_LE(at + entry.chunkLength, file.size());
      EXPECT_TRUE(std::equal(added[i].stored.begin(), added[i].stored.end(), file.begin() + at));
    }
    FilmSampleEntry untouched = {1, 2, 3, 4};
    EXPECT_FALSE(description.ReadSampleEntry(static_cast<DWORD>(added.size()), &untouched));
    EXPECT_EQ(untouched.chunkOffset, 1u);
    EXPECT_EQ(untouched.durationTicks, 4u);
  }
}

TEST_F(StreamDescriptionTest, MakesExactlyTheHeaderAndTableReads) {
  FilmWriter writer;
  writer.AddVideo(Frame(12, 0), 1);
  MemoryByteSource source(writer.Build());
  ASSERT_EQ(Parse(source), S_OK);
  const std::vector<MemoryByteSource::Read> reads = source.Reads();
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[0].position, 0);
  EXPECT_EQ(reads[0].length, 48);
  EXPECT_EQ(reads[1].position, 48);
  EXPECT_EQ(reads[1].length, 32);
}

TEST_F(StreamDescriptionTest, FillsTheFormatBlocksFromTheHeader) {
  filmwriter::FilmFormat format;
  format.width = 320;
  format.height = 240;
  format.bitCount = 24;
  format.channels = 1;
  format.bitsPerSample = 8;
  format.sampleRate = 22050;
  FilmWriter writer(format);
  ASSERT_EQ(Parse(writer), S_OK);

  const WAVEFORMATEX& wave = description.m_waveFormat;
  EXPECT_EQ(wave.wFormatTag, 1);
  EXPECT_EQ(wave.nChannels, 1);
  EXPECT_EQ(wave.nSamplesPerSec, 22050u);
  EXPECT_EQ(wave.nAvgBytesPerSec, 22050u);
  EXPECT_EQ(wave.nBlockAlign, 1);
  EXPECT_EQ(wave.wBitsPerSample, 8);
  EXPECT_EQ(wave.cbSize, 0);

  const VIDEOINFOHEADER& video = description.m_videoInfo;
  EXPECT_EQ(video.rcSource.left, 0);
  EXPECT_EQ(video.rcSource.top, 0);
  EXPECT_EQ(video.rcSource.right, 320);
  EXPECT_EQ(video.rcSource.bottom, 240);
  EXPECT_EQ(std::memcmp(&video.rcTarget, &video.rcSource, sizeof(RECT)), 0);
  EXPECT_EQ(video.dwBitRate, 2000u);
  EXPECT_EQ(video.dwBitErrorRate, 0u);
  EXPECT_EQ(video.AvgTimePerFrame, 200000);
  EXPECT_EQ(video.bmiHeader.biSize, 40u);
  EXPECT_EQ(video.bmiHeader.biWidth, 320);
  EXPECT_EQ(video.bmiHeader.biHeight, 240);
  EXPECT_EQ(video.bmiHeader.biPlanes, 1);
  EXPECT_EQ(video.bmiHeader.biBitCount, 24);
  const BYTE cvid[4] = {'c', 'v', 'i', 'd'};
  EXPECT_EQ(std::memcmp(&video.bmiHeader.biCompression, cvid, 4), 0);
  EXPECT_EQ(video.bmiHeader.biSizeImage, 0u);
  EXPECT_EQ(video.bmiHeader.biClrImportant, 0u);
}

TEST_F(StreamDescriptionTest, BlockAlignDropsTheFractionOfABit) {
  struct Case {
    uint8_t channels, bits;
    WORD blockAlign;
  } cases[] = {{1, 8, 1}, {2, 8, 2}, {1, 16, 2},      {2, 16, 4},
               {1, 4, 0}, {3, 4, 1}, {255, 255, 8128}};
  for (const Case& c : cases) {
    filmwriter::FilmFormat format;
    format.channels = c.channels;
    format.bitsPerSample = c.bits;
    format.sampleRate = 44100;
    ASSERT_EQ(Parse(FilmWriter(format)), S_OK);
    EXPECT_EQ(description.m_waveFormat.nBlockAlign, c.blockAlign);
    EXPECT_EQ(description.m_waveFormat.nAvgBytesPerSec, 44100u * c.blockAlign);
  }
}

TEST_F(StreamDescriptionTest, OnlyAllOnesTimeInfoMarksAudio) {
  FilmWriter writer;
  writer.AddStoredRow(0x7FFFFFFFu, 5, Frame(12, 0));
  writer.AddStoredRow(0x80000000u, 6, Frame(12, 0));
  writer.AddStoredRow(0xFFFFFFFEu, 7, Frame(12, 0));
  writer.AddStoredRow(0xFFFFFFFFu, 1000, Frame(12, 0));
  ASSERT_EQ(Parse(writer), S_OK);
  EXPECT_EQ(description.m_audioChunkCount, 1u);
  EXPECT_EQ(description.m_videoChunkCount, 3u);
  // The not-sync flag is not part of the start: 0x7FFFFFFE + 7.
  EXPECT_EQ(description.m_videoTicks, 0x7FFFFFFEu + 7u);
}

TEST_F(StreamDescriptionTest, VideoTicksComeFromTheLastDeclaredVideoRowOnly) {
  FilmWriter writer;
  writer.AddVideo(Frame(12, 0), 100, true, 5000);
  writer.AddVideo(Frame(12, 0), 30, false, 200);
  writer.AddAudio(Frame(8, 0));
  writer.AddVideo(Frame(12, 0), 9, true, 7000);  // beyond the declared count
  writer.Layout().entryCount = 3;
  ASSERT_EQ(Parse(writer), S_OK);
  EXPECT_EQ(description.m_entryCount, 3u);
  EXPECT_EQ(description.m_videoChunkCount, 2u);
  EXPECT_EQ(description.m_audioChunkCount, 1u);
  EXPECT_EQ(description.m_videoTicks, 230u);
  // Streaming goes by the table length, which still admits the fourth row.
  FilmSampleEntry entry = {};
  EXPECT_TRUE(description.ReadSampleEntry(3, &entry));
  EXPECT_EQ(entry.timeInfo, 7000u);
}

TEST_F(StreamDescriptionTest, AnEmptyTableParsesWithNoRows) {
  filmwriter::FilmFormat format;
  format.channels = 0;
  ASSERT_EQ(Parse(FilmWriter(format)), S_OK);
  EXPECT_EQ(description.m_entryCount, 0u);
  EXPECT_EQ(description.m_audioChunkCount, 0u);
  EXPECT_EQ(description.m_videoChunkCount, 0u);
  EXPECT_EQ(description.m_videoTicks, 0u);
  FilmSampleEntry entry = {};
  EXPECT_FALSE(description.ReadSampleEntry(0, &entry));
}

TEST_F(StreamDescriptionTest, TableLengthAdmitsRowsWhileTheirEndIsBelowIt) {
  FilmWriter writer;
  for (int i = 0; i < 4; ++i) {
    writer.AddVideo(Frame(12, 0), 1);
  }
  FilmSampleEntry entry = {};
  const struct {
    uint32_t tableLength;
    DWORD admitted;
  } cases[] = {{16 + 16 * 2, 2}, {16 + 16 * 2 + 1, 3}, {16, 0}, {17, 1}, {0, 0}, {16 + 16 * 4, 4}};
  for (const auto& c : cases) {
    writer.Layout().tableLength = c.tableLength;
    ASSERT_EQ(Parse(writer), S_OK);
    for (DWORD i = 0; i < 6; ++i) {
      EXPECT_EQ(description.ReadSampleEntry(i, &entry), i < c.admitted ? TRUE : FALSE)
          << "table length " << c.tableLength << " row " << i;
    }
  }
}

TEST_F(StreamDescriptionTest, ASecondParseReplacesTheTableAndEveryCount) {
  ParseKnownFilm();
  const Snapshot first(description);
  FilmWriter second;
  second.AddAudio(Frame(4, 0));
  second.AddAudio(Frame(4, 0));
  ASSERT_EQ(Parse(second), S_OK);
  EXPECT_EQ(description.m_audioChunkCount, 2u);
  EXPECT_EQ(description.m_videoChunkCount, 0u);
  EXPECT_EQ(description.m_videoTicks, 0u);
  EXPECT_EQ(description.m_entryCount, 2u);
  EXPECT_NE(description.m_headerLength, first.headerLength);
}

TEST_F(StreamDescriptionTest, AFailedHeaderReadChangesNothing) {
  ParseKnownFilm();
  const Snapshot before(description);
  MemoryByteSource source(OtherFilmWithDataOffset(100));
  source.FailRead(0, E_UNEXPECTED);
  EXPECT_EQ(Parse(source), E_FAIL);
  const Snapshot after(description);
  EXPECT_TRUE(after.SameCounts(before));
  EXPECT_TRUE(after.SameFormats(before));
  EXPECT_EQ(after.dataOffset, before.dataOffset);
  EXPECT_EQ(after.headerLength, before.headerLength);
  EXPECT_EQ(after.headerBuffer, before.headerBuffer);
  EXPECT_EQ(source.ReadCount(), 1u);
}

TEST_F(StreamDescriptionTest, ADataOffsetOf48UpdatesFormatsButKeepsTheTable) {
  ParseKnownFilm();
  const Snapshot before(description);
  const int64_t allocations = platform::AllocationCount(AllocationKind::HeapObject);
  MemoryByteSource source(OtherFilmWithDataOffset(48));
  EXPECT_EQ(Parse(source), E_FAIL);
  const Snapshot after(description);
  EXPECT_FALSE(after.SameFormats(before));
  EXPECT_EQ(after.waveFormat.nChannels, 2);
  EXPECT_EQ(after.videoInfo.bmiHeader.biWidth, 320);
  EXPECT_EQ(after.dataOffset, 48u);
  EXPECT_EQ(after.headerLength, 0u);
  EXPECT_TRUE(after.SameCounts(before));
  EXPECT_EQ(after.headerBuffer, before.headerBuffer);
  EXPECT_EQ(platform::AllocationCount(AllocationKind::HeapObject), allocations);
  EXPECT_EQ(source.ReadCount(), 1u);
  // The kept table still serves its own rows, bounded by its own size.
  FilmSampleEntry entry = {};
  EXPECT_TRUE(description.ReadSampleEntry(2, &entry));
  EXPECT_FALSE(description.ReadSampleEntry(3, &entry));
}

// Below 48 the offset points into the header; from 49 to 63 the region is
// too short for the table's 16-byte head.
TEST_F(StreamDescriptionTest, ADataOffsetLeavingNoRoomForATableHeadFailsWithoutAllocating) {
  for (uint32_t dataOffset : {0u, 1u, 20u, 47u, 49u, 63u}) {
    SCOPED_TRACE(dataOffset);
    const int64_t allocations = platform::AllocationCount(AllocationKind::HeapObject);
    MemoryByteSource source(OtherFilmWithDataOffset(dataOffset));
    EXPECT_EQ(Parse(source), E_FAIL);
    EXPECT_EQ(description.m_dataOffset, dataOffset);
    EXPECT_EQ(description.m_headerLength, dataOffset > 48 ? dataOffset - 48 : 0u);
    EXPECT_EQ(platform::AllocationCount(AllocationKind::HeapObject), allocations);
    EXPECT_EQ(source.ReadCount(), 1u);
  }
}

TEST_F(StreamDescriptionTest, AnUnallocatableTableLeavesNoTableAndKeepsTheCounts) {
  ParseKnownFilm();
  const Snapshot before(description);
  MemoryByteSource source(OtherFilmWithDataOffset(48 + 32));
  platform::FailNthAllocation(AllocationKind::HeapObject, 1);
  EXPECT_EQ(Parse(source), E_OUTOFMEMORY);
  const Snapshot after(description);
  EXPECT_EQ(description.m_headerBuffer, nullptr);
  EXPECT_EQ(after.dataOffset, 80u);
  EXPECT_EQ(after.headerLength, 32u);
  EXPECT_EQ(after.waveFormat.nChannels, 2);
  EXPECT_TRUE(after.SameCounts(before));
  EXPECT_EQ(source.ReadCount(), 1u);
  FilmSampleEntry entry = {};
  EXPECT_FALSE(description.ReadSampleEntry(0, &entry));
}

TEST_F(StreamDescriptionTest, RefusesATableRegionAboveTheBoundBeforeAllocating) {
  ParseKnownFilm();
  const Snapshot before(description);
  // 64 MiB, written out: a bound computed from the module's own constant
  // would move with it.
  for (uint32_t dataOffset : {48u + 67108864u + 1u, 0x80000000u, 0xFFFFFFFFu}) {
    const int64_t allocations = platform::AllocationCount(AllocationKind::HeapObject);
    MemoryByteSource source(OtherFilmWithDataOffset(dataOffset));
    EXPECT_EQ(Parse(source), E_OUTOFMEMORY);
    EXPECT_EQ(description.m_headerBuffer, nullptr);
    EXPECT_EQ(description.m_headerLength, dataOffset - 48);
    EXPECT_TRUE(Snapshot(description).SameCounts(before));
    EXPECT_EQ(platform::AllocationCount(AllocationKind::HeapObject), allocations);
    EXPECT_EQ(source.ReadCount(), 1u);
  }
}

TEST_F(StreamDescriptionTest, AcceptsATableRegionAtTheBound) {
  FilmWriter writer;
  writer.AddVideo(Frame(12, 0), 25);
  writer.Layout().dataOffset = 48 + 67108864;
  writer.Layout().truncateTo = 48 + 67108864;
  MemoryByteSource source(writer.Build());
  ASSERT_EQ(Parse(source), S_OK);
  EXPECT_EQ(description.m_headerLength, 67108864u);
  EXPECT_EQ(description.m_videoTicks, 25u);
}

TEST_F(StreamDescriptionTest, AFailedTableReadReleasesTheTableAndKeepsTheCounts) {
  ParseKnownFilm();
  const Snapshot before(description);
  MemoryByteSource source(OtherFilmWithDataOffset(48 + 32));
  source.FailRead(1);
  EXPECT_EQ(Parse(source), E_FAIL);
  const Snapshot after(description);
  EXPECT_EQ(description.m_headerBuffer, nullptr);
  EXPECT_EQ(after.dataOffset, 80u);
  EXPECT_EQ(after.headerLength, 32u);
  EXPECT_FALSE(after.SameFormats(before));
  EXPECT_TRUE(after.SameCounts(before));
  FilmSampleEntry entry = {};
  EXPECT_FALSE(description.ReadSampleEntry(0, &entry));
}

TEST_F(StreamDescriptionTest, ReadsAnsweredWithSFalseCountAsSuccess) {
  FilmWriter writer;
  writer.AddAudio(Frame(10, 0));
  writer.AddVideo(Frame(14, 0), 33);
  MemoryByteSource source(writer.Build());
  source.AnswerSFalse(true);
  ASSERT_EQ(Parse(source), S_OK);
  EXPECT_EQ(description.m_audioChunkCount, 1u);
  EXPECT_EQ(description.m_videoTicks, 33u);
}

TEST_F(StreamDescriptionTest, BytesAShortReadLeftOutParseAsZeros) {
  FilmWriter writer;
  writer.AddVideo(Frame(12, 0), 40, true, 1000);
  writer.AddVideo(Frame(12, 0), 40, true, 1040);
  writer.AddVideo(Frame(12, 0), 40, true, 1080);
  MemoryByteSource source(writer.Build());
  source.ShortenRead(0, 8);   // header bytes 40-47: the sample rate
  source.ShortenRead(1, 16);  // the whole last row
  source.ShortenRead(2, 16);  // and again when the table is read anew
  ASSERT_EQ(Parse(source), S_OK);
  EXPECT_EQ(description.m_waveFormat.nSamplesPerSec, 0u);
  EXPECT_EQ(description.m_videoChunkCount, 3u);
  EXPECT_EQ(description.m_videoTicks, 0u);  // the zeroed row is video at 0, lasting 0
  FilmSampleEntry entry = {1, 1, 1, 1};
  ASSERT_TRUE(description.ReadSampleEntry(2, &entry));
  EXPECT_EQ(entry.chunkOffset, 0u);
  EXPECT_EQ(entry.chunkLength, 0u);
  EXPECT_EQ(entry.timeInfo, 0u);
  EXPECT_EQ(entry.durationTicks, 0u);
}

TEST_F(StreamDescriptionTest, DeclaredSizesBeyondTheRegionAreCutToTheRowsThatFit) {
  FilmWriter writer;
  for (int i = 0; i < 5; ++i) {
    writer.AddVideo(Frame(12, 0), 10);
  }
  writer.Layout().entryCount = 0xFFFFFFFFu;
  writer.Layout().tableLength = 0xFFFFFFFFu;
  writer.Layout().dataOffset = 48 + 16 + 16 * 3 + 9;  // three rows and a partial fourth
  ASSERT_EQ(Parse(writer), S_OK);
  EXPECT_EQ(description.m_entryCount, 0xFFFFFFFFu);
  EXPECT_EQ(description.m_videoChunkCount, 3u);
  EXPECT_EQ(description.m_videoTicks, 30u);
  FilmSampleEntry entry = {};
  EXPECT_TRUE(description.ReadSampleEntry(2, &entry));
  EXPECT_FALSE(description.ReadSampleEntry(3, &entry));
  // (index + 1) × 16 wraps to 0 in 32 bits for these: no bogus row either.
  EXPECT_FALSE(description.ReadSampleEntry(0x0FFFFFFFu, &entry));
  EXPECT_FALSE(description.ReadSampleEntry(0xFFFFFFFFu, &entry));
  EXPECT_FALSE(description.ReadSampleEntry(0x10000000u, &entry));
}

TEST_F(StreamDescriptionTest, RegionsTooSmallForARowParseAsEmpty) {
  for (uint32_t region = 16; region < 32; ++region) {
    SCOPED_TRACE(region);
    FilmWriter writer;
    writer.AddVideo(Frame(12, 0), 10);
    writer.Layout().dataOffset = 48 + region;
    ASSERT_EQ(Parse(writer), S_OK);
    EXPECT_EQ(description.m_headerLength, region);
    FilmSampleEntry entry = {};
    EXPECT_EQ(description.ReadSampleEntry(0, &entry), region >= 32 ? TRUE : FALSE);
    EXPECT_EQ(description.m_videoChunkCount, 0u);
    EXPECT_EQ(description.m_timeBase, region >= 12 ? 600u : 0u);
  }
}

// Every combination of hostile sizes agrees with the writer's own reading of
// the layout; the address sanitizer build checks that no byte outside the
// table copy is touched.
TEST_F(StreamDescriptionTest, HostileTablesMatchTheLayoutAndStayInsideTheBuffer) {
  const uint32_t lengths[] = {0,  1,  15, 16, 17,         31,          32,          48,         63,
                              64, 65, 80, 96, 0x7FFFFFFF, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu};
  const uint32_t counts[] = {0, 1, 2, 3, 4, 5, 6, 0x0FFFFFFFu, 0x10000000u, 0xFFFFFFFFu};
  for (uint32_t region = 1; region <= 16 + 16 * 6 + 3; region += 5) {
    for (uint32_t tableLength : lengths) {
      for (uint32_t entryCount : counts) {
        FilmWriter writer;
        writer.AddVideo(Frame(12, 0), 3, true, 10);
        writer.AddAudio(Frame(4, 0));
        writer.AddVideo(Frame(12, 0), 5, false, 20);
        writer.AddVideo(Frame(12, 0), 7, true, 30);
        writer.Layout().dataOffset = 48 + region;
        writer.Layout().tableLength = tableLength;
        writer.Layout().entryCount = entryCount;
        const filmwriter::FilmExpectation expect = writer.Expect();
        ASSERT_EQ(Parse(writer), expect.parses ? S_OK : E_FAIL) << "region " << region;
        if (!expect.parses) {
          continue;
        }
        ASSERT_EQ(description.m_audioChunkCount, expect.audioChunkCount);
        ASSERT_EQ(description.m_videoChunkCount, expect.videoChunkCount);
        ASSERT_EQ(static_cast<uint64_t>(description.m_videoTicks), expect.videoTicks);
        ASSERT_EQ(description.m_entryCount, expect.entryCount);
        DWORD admitted = 0;
        FilmSampleEntry entry = {};
        while (admitted < 64 && description.ReadSampleEntry(admitted, &entry)) {
          ++admitted;
        }
        ASSERT_EQ(admitted, expect.streamedRows)
            << "region " << region << " length " << tableLength << " count " << entryCount;
      }
    }
  }
}

// A file cut anywhere before the end of its table head is refused like an
// unreadable header, leaving the earlier description whole; one cut anywhere
// in the table keeps exactly the whole rows that exist and reads no further.
TEST_F(StreamDescriptionTest, AFileCutShortParsesAsTheRowsItHolds) {
  FilmWriter writer;
  for (int i = 0; i < 4; ++i) {
    writer.AddAudio(Frame(10, 0));
    writer.AddVideo(Frame(12, 0), 10);
  }
  const std::vector<uint8_t> file = writer.Build();
  const size_t tableEnd = 48 + 16 + 16 * 8;
  for (size_t cut = 0; cut <= tableEnd; ++cut) {
    SCOPED_TRACE(cut);
    ParseKnownFilm();
    const Snapshot before(description);
    MemoryByteSource source(std::vector<uint8_t>(file.begin(), file.begin() + cut));
    source.SetPastEnd(MemoryByteSource::PastEnd::ShortRead);
    if (cut < 64) {
      ASSERT_EQ(Parse(source), E_FAIL);
      EXPECT_EQ(source.ReadCount(), 1u);
      EXPECT_TRUE(Snapshot(description).SameFormats(before));
      EXPECT_EQ(description.m_headerBuffer.get(), before.headerBuffer);
      continue;
    }
    ASSERT_EQ(Parse(source), S_OK);
    const DWORD rows = static_cast<DWORD>((cut - 64) / 16);
    ASSERT_EQ(source.Reads()[1].length, static_cast<LONG>(cut - 48));
    EXPECT_EQ(description.m_audioChunkCount + description.m_videoChunkCount, rows);
    EXPECT_EQ(description.StreamedRowCount(), rows);
    FilmSampleEntry entry = {};
    EXPECT_EQ(description.ReadSampleEntry(rows - 1, &entry), rows > 0 ? TRUE : FALSE);
    EXPECT_FALSE(description.ReadSampleEntry(rows, &entry));
    // The host's view of the same bytes: the region declares all eight rows,
    // the file holds the same whole rows, and no row past them is read.
    const CFilmSampleTable table(file.data() + 48, static_cast<uint32_t>(cut - 48), 16 + 16 * 8);
    EXPECT_EQ(table.RowsDeclared(), 8u);
    EXPECT_EQ(table.RowsHeld(), rows);
    EXPECT_EQ(table.StreamedRows(), rows);
    EXPECT_EQ(table.Row(rows).chunkLength, 0u);
  }
}

TEST_F(StreamDescriptionTest, AShortHeaderFromASourceThatCannotTellItsLengthIsRefused) {
  FilmWriter writer;
  writer.AddVideo(Frame(12, 0), 10);
  MemoryByteSource whole(writer.Build());
  whole.LengthUnknown();
  EXPECT_EQ(Parse(whole), S_OK);  // reads that come whole are taken at their word
  MemoryByteSource cut(writer.Build());
  cut.LengthUnknown();
  cut.ShortenRead(0, 1);
  EXPECT_EQ(Parse(cut), E_FAIL);
}

// Rows A0 V1 A2 V3 of 8-bit stereo audio (100 bytes, planar halves of 50)
// and 30-byte video chunks: where each stream's last deliverable row lies
// for cuts at each kind of boundary.
TEST_F(StreamDescriptionTest, EachStreamEndsAfterItsLastRowThatHoldsData) {
  filmwriter::FilmFormat format;
  format.channels = 2;
  FilmWriter writer(format);
  writer.AddAudio(Frame(100, 1));
  writer.AddVideo(Frame(28, 2), 10);
  writer.AddAudio(Frame(100, 3));
  writer.AddVideo(Frame(28, 4), 10);
  const std::vector<uint8_t> file = writer.Build();
  ASSERT_EQ(Parse(writer), S_OK);
  const LONGLONG a2 = ChunkPositionOf(2);
  const LONGLONG v3 = ChunkPositionOf(3);
  struct Cut {
    LONGLONG length;
    DWORD audioEnd;
    DWORD videoEnd;
  };
  const Cut cuts[] = {
      {static_cast<LONGLONG>(file.size()), 3, 4},
      {v3 + 29, 3, 2},  // one byte short of the last frame
      {v3, 3, 2},       // exactly at the end of A2
      {a2 + 51, 3, 2},  // one stereo frame of A2 exists
      {a2 + 50, 1, 2},  // only A2's first half: no whole frame
      {a2, 1, 2},       // exactly at the end of V1
      {a2 - 1, 1, 0},
      {64, 0, 0},
  };
  for (const Cut& cut : cuts) {
    SCOPED_TRACE(cut.length);
    EXPECT_EQ(description.StreamEndRow(TRUE, cut.length), cut.audioEnd);
    EXPECT_EQ(description.StreamEndRow(FALSE, cut.length), cut.videoEnd);
  }
}

// A whole file ends at the furthest chunk of the rows that stream, whatever
// the declared entry count says; row 2's chunk lies far past the others.
TEST_F(StreamDescriptionTest, AWholeFileEndsAtTheFurthestChunkOfTheStreamedRows) {
  const struct {
    const char* what;
    std::optional<uint32_t> tableLength;
    std::optional<uint32_t> entryCount;
    DWORD furthestRow;
  } cases[] = {
      {"one row streams, three declared", 16 + 16, std::nullopt, 0},
      {"three rows stream, one declared", std::nullopt, 1, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    FilmWriter writer;
    for (int i = 0; i < 3; ++i) {
      writer.AddVideo(Frame(20, static_cast<uint8_t>(i)), 10);
    }
    writer.SetChunkOffset(2, 100000);
    writer.Layout().tableLength = c.tableLength;
    writer.Layout().entryCount = c.entryCount;
    ASSERT_EQ(Parse(writer), S_OK);
    FilmSampleEntry entry = {};
    ASSERT_TRUE(description.ReadSampleEntry(c.furthestRow, &entry));
    EXPECT_EQ(description.FileEnd(), ChunkPositionOf(c.furthestRow) + entry.chunkLength);
  }
}

TEST_F(StreamDescriptionTest, RefusesAMissingByteSource) {
  EXPECT_EQ(description.ParseStreamDescription(nullptr), E_POINTER);
}

}  // namespace
