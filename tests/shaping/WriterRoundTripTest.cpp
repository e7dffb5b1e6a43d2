// Films from the writer, streamed the way the splitter's worker does it:
// row by row through the description, read, converted and stamped.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "film/CCpkStreamDescription.h"
#include "film/ChunkExtent.h"
#include "film/FilmLayout.h"
#include "filmwriter/FilmWriter.h"
#include "shaping/PayloadConversion.h"
#include "shaping/SampleTiming.h"
#include "support/MemoryByteSource.h"

namespace {

std::vector<uint8_t> Noise(std::mt19937& rng, size_t length) {
  std::vector<uint8_t> bytes(length);
  for (uint8_t& b : bytes) {
    b = static_cast<uint8_t>(rng());
  }
  return bytes;
}

TEST(WriterRoundTrip, ConvertedChunksReproduceTheWrittenPayloadsAndTimes) {
  std::mt19937 rng(7);
  const struct {
    uint8_t channels, bits;
  } layouts[] = {{1, 8}, {1, 16}, {2, 8}, {2, 16}, {3, 8}, {1, 12}};
  for (int film = 0; film < 120; ++film) {
    SCOPED_TRACE(film);
    filmwriter::FilmFormat format;
    const auto& layout = layouts[film % 6];
    format.channels = layout.channels;
    format.bitsPerSample = layout.bits;
    format.sampleRate = static_cast<uint16_t>(8000 + rng() % 40000);
    format.timeBase = 1 + rng() % 1000;
    filmwriter::FilmWriter writer(format);
    const int rows = static_cast<int>(rng() % 30);
    for (int i = 0; i < rows; ++i) {
      if (rng() % 2 == 0) {
        writer.AddAudio(Noise(rng, rng() % 3000));
      } else {
        writer.AddVideo(Noise(rng, 10 + rng() % 3000), rng() % 100, rng() % 4 != 0);
      }
    }
    const filmwriter::FilmExpectation expect = writer.Expect();
    MemoryByteSource source(writer.Build());
    HRESULT constructed = S_OK;
    CCpkStreamDescription d(&constructed);
    ASSERT_EQ(d.ParseStreamDescription(&source), S_OK);

    std::vector<BYTE> sample(filmwriter::kVideoFrameLimit);
    size_t next = 0;
    FilmSampleEntry row = {};
    for (; d.ReadSampleEntry(d.m_rowIndex, &row); ++d.m_rowIndex) {
      ASSERT_LT(next, expect.samples.size());
      const filmwriter::ExpectedSample& expected = expect.samples[next++];
      ASSERT_EQ(expected.row, d.m_rowIndex);
      const LONGLONG position = static_cast<DWORD>(d.m_dataOffset + row.chunkOffset);
      REFERENCE_TIME start;
      REFERENCE_TIME stop;
      DWORD delivered;
      if (row.timeInfo == film::kAudioTimeInfo) {
        ASSERT_EQ(expected.stream, filmwriter::Stream::Audio);
        ASSERT_GE(
            source.ReadAt(position, static_cast<LONG>(row.chunkLength), d.m_stagingBuffer.get()),
            0);
        const AudioChunkCut cut =
            CutAudioChunk(row.chunkLength, row.chunkLength, d.m_waveFormat.nChannels,
                          d.m_waveFormat.wBitsPerSample);
        CompactAudioChunk(d.m_stagingBuffer.get(), cut);
        delivered = cut.deliveredLength;
        ConvertAudioChunk(d.m_stagingBuffer.get(), delivered, d.m_waveFormat.nChannels,
                          d.m_waveFormat.wBitsPerSample, ChooseAudioConverters(), sample.data());
        start = d.m_audioTime;
        stop = start + AudioChunkDuration(delivered, d.m_waveFormat.nAvgBytesPerSec);
        d.m_audioTime = start + d.RowDuration(row);
      } else {
        ASSERT_EQ(expected.stream, filmwriter::Stream::Video);
        ASSERT_GE(source.ReadAt(position, 10, sample.data()), 0);
        ASSERT_GE(source.ReadAt(position + 12, static_cast<LONG>(row.chunkLength - 12),
                                sample.data() + 10),
                  0);
        delivered = row.chunkLength - 2;
        ASSERT_TRUE(AdjustVideoFrame(sample.data(), delivered));
        start = d.m_videoTime;
        stop = start + VideoFrameDuration(row.durationTicks, d.m_timeBase);
        d.m_videoTime = stop;
        EXPECT_EQ((row.timeInfo & film::kNotSyncPointFlag) == 0, expected.syncPoint);
      }
      ASSERT_EQ(delivered, expected.payload.size());
      EXPECT_EQ(std::memcmp(sample.data(), expected.payload.data(), expected.determinedLength), 0);
      EXPECT_EQ(start, expected.start);
      EXPECT_EQ(stop, expected.stop);
    }
    EXPECT_EQ(next, expect.samples.size());
  }
}

}  // namespace
