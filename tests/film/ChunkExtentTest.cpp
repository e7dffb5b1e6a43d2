#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <vector>

#include "film/FilmRules.h"
#include "shaping/PayloadConversion.h"

namespace {

std::vector<BYTE> Converted(const std::vector<BYTE>& stored, DWORD length, WORD channels,
                            WORD bits) {
  std::vector<BYTE> out(length + 1, 0);
  ConvertAudioChunk(stored.data(), length, channels, bits, ChooseAudioConverters(), out.data());
  out.resize(length);
  return out;
}

// Frames whose every sample lies in the first `present` stored bytes, taken
// sample by sample from the planar layout rather than from the cut's rule.
DWORD WholeFramesPresent(DWORD length, DWORD present, WORD channels, WORD bits) {
  const DWORD width = bits / 8;
  if (channels == 1) {
    return present / width;
  }
  const DWORD half = length / 2;
  DWORD frames = 0;
  while ((frames + 1) * width <= half && half + (frames + 1) * width <= present) {
    ++frames;
  }
  return frames;
}

}  // namespace

TEST(ChunkExtentTest, ChunkBytesAreCountedUpToTheFileEndWithoutOverflow) {
  EXPECT_EQ(100u, film::ChunkBytesInFile(0, 100, 100));
  EXPECT_EQ(40u, film::ChunkBytesInFile(60, 100, 100));
  EXPECT_EQ(0u, film::ChunkBytesInFile(100, 100, 100));
  EXPECT_EQ(0u, film::ChunkBytesInFile(5000, 1, 100));
  EXPECT_EQ(0xFFFFFFFFu, film::ChunkBytesInFile(0, 0xFFFFFFFFu, LLONG_MAX));
  EXPECT_TRUE(film::ChunkWhollyInFile(60, 40, 100));
  EXPECT_TRUE(film::ChunkWhollyInFile(100, 0, 100));
  EXPECT_FALSE(film::ChunkWhollyInFile(61, 40, 100));
  EXPECT_FALSE(film::ChunkWhollyInFile(0xFFFFFFFFLL, 0xFFFFFFFFu, 0x100000000LL));
  EXPECT_TRUE(film::ChunkWhollyInFile(0xFFFFFFFFLL, 0xFFFFFFFFu, LLONG_MAX));
}

// Every chunk length up to 40 bytes, every point it can be cut at, in every
// converted layout: the cut delivers whole frames only, as many as the
// stored bytes hold, and its converted bytes are a prefix of the whole
// chunk's.
TEST(ChunkExtentTest, EveryCutOfEveryLayoutDeliversThePrefixOfWholeFramesThatExist) {
  for (WORD channels : {1, 2}) {
    for (WORD bits : {8, 16}) {
      const DWORD frameBytes = channels * bits / 8u;
      for (DWORD length = 0; length <= 40; ++length) {
        std::vector<BYTE> stored(length);
        for (DWORD i = 0; i < length; ++i) {
          stored[i] = static_cast<BYTE>(31 * i + 7);
        }
        const std::vector<BYTE> whole = Converted(stored, length, channels, bits);
        for (DWORD present = 0; present <= length; ++present) {
          SCOPED_TRACE(testing::Message() << channels << "ch " << bits << "bit L=" << length
                                          << " present=" << present);
          const film::AudioChunkCut cut = film::CutAudioChunk(length, present, channels, bits);
          ASSERT_EQ(WholeFramesPresent(length, present, channels, bits) * frameBytes,
                    cut.deliveredLength);
          std::vector<BYTE> chunk(stored.begin(), stored.begin() + present);
          chunk.resize(length, 0xEE);  // what lies past the end must not matter
          film::CompactAudioChunk(chunk.data(), cut);
          const std::vector<BYTE> delivered = Converted(chunk, cut.deliveredLength, channels, bits);
          ASSERT_TRUE(std::equal(delivered.begin(), delivered.end(), whole.begin()));
        }
        // A whole chunk keeps whole frames too: no byte the conversion leaves unwritten.
        const film::AudioChunkCut full = film::CutAudioChunk(length, length + 3, channels, bits);
        EXPECT_EQ(WholeFramesPresent(length, length, channels, bits) * frameBytes,
                  full.deliveredLength);
      }
    }
  }
}

TEST(ChunkExtentTest, RowsChunksAndFramesEndAtTheirHandCountedBoundaries) {
  EXPECT_EQ(0u, film::RowsAdmitted(0));
  EXPECT_EQ(0u, film::RowsAdmitted(16));
  EXPECT_EQ(1u, film::RowsAdmitted(17));
  EXPECT_EQ(1u, film::RowsAdmitted(32));  // the table's length, not the row's end, decides
  EXPECT_EQ(268435455u, film::RowsAdmitted(0xFFFFFFFFu));
  EXPECT_EQ(0x10u, film::ChunkPosition(0xFFFFFFF0u, 0x20u));  // wraps in 32 bits
  EXPECT_FALSE(film::VideoChunkDeliverable(11));
  EXPECT_TRUE(film::VideoChunkDeliverable(12));
  EXPECT_TRUE(film::VideoChunkDeliverable(262146));  // a 262,144-byte frame fills its sample
  EXPECT_FALSE(film::VideoChunkDeliverable(262147));
  EXPECT_EQ(65536u, film::kStagingBufferLength);
}

TEST(ChunkExtentTest, LayoutsWithoutConversionAreCutToWholeFramesAsOneRun) {
  film::AudioChunkCut cut = film::CutAudioChunk(60, 40, 3, 16);
  EXPECT_EQ(36u, cut.deliveredLength);
  EXPECT_EQ(0u, cut.secondChannelOffset);
  cut = film::CutAudioChunk(60, 40, 1, 4);  // below a byte: cut on bytes
  EXPECT_EQ(40u, cut.deliveredLength);
  cut = film::CutAudioChunk(60, 50, 2, 24);  // planar halves of 30, 20 bytes of the second exist
  EXPECT_EQ(18u, cut.keptPerChannel);
  EXPECT_EQ(36u, cut.deliveredLength);
}
