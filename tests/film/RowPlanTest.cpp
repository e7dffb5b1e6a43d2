#include <gtest/gtest.h>

#include "film/FilmRowPlan.h"

namespace {

using film::RowFate;

constexpr uint32_t kVideoRow = 40;  // a key frame at tick 40

// One row of each kind the streaming meets, in a file of 1,000 bytes whose
// chunks count from 100 and whose audio is 16-bit stereo: the plan names
// its stream, what of it is there, what a sample carries, and its fate.
TEST(RowPlanTest, EachRowIsPlannedOnceFromTheFileItIsIn) {
  const film::RowFormat format = {100, 2, 16};
  const int64_t fileLength = 1000;
  const struct {
    const char* what;
    FilmSampleEntry row;
    uint32_t present;
    bool whole;
    uint32_t payload;
    uint32_t wholePayload;
    RowFate fate;
    bool holdsData;
  } cases[] = {
      {"audio, whole",
       {0, 400, film::kAudioTimeInfo, 0},
       400,
       true,
       400,
       400,
       RowFate::kDeliver,
       true},
      {"audio, cut to the whole frames there",
       {600, 400, film::kAudioTimeInfo, 0},
       300,
       false,
       200,
       400,
       RowFate::kDeliver,
       true},
      {"audio, not one frame of the second half",
       {700, 400, film::kAudioTimeInfo, 0},
       200,
       false,
       0,
       400,
       RowFate::kMissing,
       false},
      {"audio, past the end",
       {900, 8, film::kAudioTimeInfo, 0},
       0,
       false,
       0,
       8,
       RowFate::kMissing,
       false},
      {"audio, a stored chunk of no whole frame",
       {0, 3, film::kAudioTimeInfo, 0},
       3,
       true,
       0,
       0,
       RowFate::kNoFrame,
       true},
      {"audio, empty", {0, 0, film::kAudioTimeInfo, 0}, 0, true, 0, 0, RowFate::kDeliver, true},
      {"audio, longer than the staging buffer",
       {0, 65540, film::kAudioTimeInfo, 0},
       900,
       false,
       0,
       65540,
       RowFate::kTooLong,
       false},
      {"video, whole", {0, 112, kVideoRow, 40}, 112, true, 110, 0, RowFate::kDeliver, true},
      {"video, part of a frame",
       {800, 112, kVideoRow, 40},
       100,
       false,
       110,
       0,
       RowFate::kMissing,
       false},
      {"video, no frame head", {0, 11, kVideoRow, 40}, 11, true, 0, 0, RowFate::kNoFrame, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const film::RowPlan plan = film::PlanRow(c.row, format, fileLength);
    EXPECT_EQ(plan.audio, c.row.timeInfo == film::kAudioTimeInfo);
    EXPECT_EQ(plan.position, 100 + c.row.chunkOffset);
    EXPECT_EQ(plan.presentBytes, c.present);
    EXPECT_EQ(plan.wholeInFile, c.whole);
    EXPECT_EQ(plan.payloadLength, c.payload);
    EXPECT_EQ(plan.wholeDeliveredLength, c.wholePayload);
    EXPECT_EQ(plan.fate, c.fate);
    EXPECT_EQ(plan.holdsData, c.holdsData);
  }
}

// A chunk whose 32-bit position wraps inside it is never wholly in a file
// below 4 GiB.
TEST(RowPlanTest, AChunkWhosePositionWrapsIsNotInTheFile) {
  const film::RowFormat format = {0x100, 1, 8};
  const film::RowPlan plan =
      film::PlanRow({0xFFFFFFF0u, 112, kVideoRow, 40}, format, int64_t{1} << 31);
  EXPECT_EQ(plan.position, 0xF0u);
  EXPECT_TRUE(plan.wholeInFile);
  const film::RowPlan far = film::PlanRow({0xFFFFFE00u, 0x300, kVideoRow, 40}, format, 0x1000);
  EXPECT_FALSE(far.wholeInFile);
  EXPECT_EQ(far.fate, RowFate::kMissing);
}

}  // namespace
