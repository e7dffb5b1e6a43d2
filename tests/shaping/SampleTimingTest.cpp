#include <gtest/gtest.h>

#include <cstdint>

#include "film/FilmRules.h"

namespace {

TEST(SampleTiming, AudioChunksLastTheirBytesOverTheByteRate) {
  EXPECT_EQ(film::AudioChunkDuration(2205, 22050), 1000000);  // 8-bit mono at 22,050 Hz
  EXPECT_EQ(film::AudioChunkDuration(8820, 88200), 1000000);  // 16-bit stereo at 22,050 Hz
  EXPECT_EQ(film::AudioChunkDuration(1, 88200), 113);         // 113.37... drops its fraction
  EXPECT_EQ(film::AudioChunkDuration(0, 88200), 0);
}

TEST(SampleTiming, VideoFramesLastTheirTicksOverTheTimeBase) {
  EXPECT_EQ(film::VideoFrameDuration(40, 600), 666666);
  EXPECT_EQ(film::VideoFrameDuration(600, 600), 10000000);
  EXPECT_EQ(film::VideoFrameDuration(0, 600), 0);
}

TEST(SampleTiming, RowsLastByTheirKindAndTheMovieEndsWithItsLastVideoRow) {
  EXPECT_EQ(film::RowDuration(0xFFFFFFFFu, 4410, 40, 44100, 600), 1000000);
  EXPECT_EQ(film::RowDuration(0x80000000u, 4410, 40, 44100, 600), 666666);
  // The sync flag is no part of the start: 0x7FFFFFFE + 7 ticks.
  EXPECT_EQ(film::VideoEndTick(0xFFFFFFFEu, 7), 2147483653LL);
  EXPECT_EQ(film::VideoFrameDuration(film::VideoEndTick(0x80000028u, 40), 600), 1333333);
}

TEST(SampleTiming, ZeroRatesGiveNoDurationInsteadOfAFault) {
  EXPECT_EQ(film::AudioChunkDuration(4096, 0), 0);
  EXPECT_EQ(film::VideoFrameDuration(40, 0), 0);
}

TEST(SampleTiming, LargestOperandsStayExactIn64Bits) {
  EXPECT_EQ(film::AudioChunkDuration(0xFFFFFFFFu, 1), 42949672950000000LL);
  EXPECT_EQ(film::VideoFrameDuration(0xFFFFFFFFu, 0xFFFFFFFFu), 10000000);
  EXPECT_EQ(film::VideoFrameDuration(0xFFFFFFFFu, 7), 0xFFFFFFFFLL * 10000000 / 7);
}

TEST(SampleTiming, RunningTimesDriftBelowTheExactSumByTheDroppedFractions) {
  // Fifteen frames of 40 ticks at 600 ticks a second are exactly one second.
  int64_t start = 0;
  int64_t starts[3] = {};
  for (int frame = 0; frame < 15; ++frame) {
    if (frame < 3) {
      starts[frame] = start;
    }
    start += film::VideoFrameDuration(40, 600);
  }
  EXPECT_EQ(starts[0], 0);
  EXPECT_EQ(starts[1], 666666);
  EXPECT_EQ(starts[2], 1333332);
  EXPECT_EQ(start, 10000000 - 10);

  // 88,200 one-byte chunks at 88,200 bytes a second: 0.37 units lost per chunk.
  int64_t audio = 0;
  for (int chunk = 0; chunk < 88200; ++chunk) {
    audio += film::AudioChunkDuration(1, 88200);
  }
  EXPECT_EQ(audio, 113 * 88200);
  EXPECT_LT(audio, 10000000);
  EXPECT_GE(audio, 10000000 - 88200);
}

}  // namespace

TEST(SampleTiming, RunningTimesHoldAtTheLatestTimeInsteadOfWrapping) {
  constexpr int64_t kLatest = INT64_MAX;
  const int64_t longest = film::VideoFrameDuration(0xFFFFFFFFu, 1);
  EXPECT_EQ(film::AdvanceTime(0, longest), longest);
  EXPECT_EQ(film::AdvanceTime(kLatest - longest, longest), kLatest);
  EXPECT_EQ(film::AdvanceTime(kLatest - longest + 1, longest), kLatest);
  EXPECT_EQ(film::AdvanceTime(kLatest, 0), kLatest);
}
