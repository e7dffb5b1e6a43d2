#include <gtest/gtest.h>

#include "shaping/SampleTiming.h"

namespace {

TEST(SampleTiming, AudioChunksLastTheirBytesOverTheByteRate) {
  EXPECT_EQ(AudioChunkDuration(2205, 22050), 1000000);  // 8-bit mono at 22,050 Hz
  EXPECT_EQ(AudioChunkDuration(8820, 88200), 1000000);  // 16-bit stereo at 22,050 Hz
  EXPECT_EQ(AudioChunkDuration(1, 88200), 113);         // 113.37... drops its fraction
  EXPECT_EQ(AudioChunkDuration(0, 88200), 0);
}

TEST(SampleTiming, VideoFramesLastTheirTicksOverTheTimeBase) {
  EXPECT_EQ(VideoFrameDuration(40, 600), 666666);
  EXPECT_EQ(VideoFrameDuration(600, 600), 10000000);
  EXPECT_EQ(VideoFrameDuration(0, 600), 0);
}

TEST(SampleTiming, ZeroRatesGiveNoDurationInsteadOfAFault) {
  EXPECT_EQ(AudioChunkDuration(4096, 0), 0);
  EXPECT_EQ(VideoFrameDuration(40, 0), 0);
}

TEST(SampleTiming, LargestOperandsStayExactIn64Bits) {
  EXPECT_EQ(AudioChunkDuration(0xFFFFFFFFu, 1), 42949672950000000LL);
  EXPECT_EQ(VideoFrameDuration(0xFFFFFFFFu, 0xFFFFFFFFu), 10000000);
  EXPECT_EQ(VideoFrameDuration(0xFFFFFFFFu, 7), 0xFFFFFFFFLL * 10000000 / 7);
}

TEST(SampleTiming, RunningTimesDriftBelowTheExactSumByTheDroppedFractions) {
  // Fifteen frames of 40 ticks at 600 ticks a second are exactly one second.
  REFERENCE_TIME start = 0;
  REFERENCE_TIME starts[3] = {};
  for (int frame = 0; frame < 15; ++frame) {
    if (frame < 3) {
      starts[frame] = start;
    }
    start += VideoFrameDuration(40, 600);
  }
  EXPECT_EQ(starts[0], 0);
  EXPECT_EQ(starts[1], 666666);
  EXPECT_EQ(starts[2], 1333332);
  EXPECT_EQ(start, 10000000 - 10);

  // 88,200 one-byte chunks at 88,200 bytes a second: 0.37 units lost per chunk.
  REFERENCE_TIME audio = 0;
  for (int chunk = 0; chunk < 88200; ++chunk) {
    audio += AudioChunkDuration(1, 88200);
  }
  EXPECT_EQ(audio, 113 * 88200);
  EXPECT_LT(audio, 10000000);
  EXPECT_GE(audio, 10000000 - 88200);
}

}  // namespace

TEST(SampleTiming, RunningTimesHoldAtTheLatestTimeInsteadOfWrapping) {
  constexpr REFERENCE_TIME kLatest = INT64_MAX;
  const REFERENCE_TIME longest = VideoFrameDuration(0xFFFFFFFFu, 1);
  EXPECT_EQ(AdvanceTime(0, longest), longest);
  EXPECT_EQ(AdvanceTime(kLatest - longest, longest), kLatest);
  EXPECT_EQ(AdvanceTime(kLatest - longest + 1, longest), kLatest);
  EXPECT_EQ(AdvanceTime(kLatest, 0), kLatest);
}
