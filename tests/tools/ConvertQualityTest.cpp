// --quality's levels: the ends of the scale are the encoder's ends, the
// default is the level the convert benchmark measured above 38 dB on busy
// pictures, and a higher quality never gives a higher level.
#include <gtest/gtest.h>

#include "tessaly/commands/CConvertCommand.h"
#include "webm/CVp9Encoder.h"

using tessaly::cli::CConvertCommand;
using tessaly::webm::CVp9Encoder;

TEST(ConvertQuality, MapsTheScaleOntoTheEncodersLevels) {
  const struct {
    int quality;
    int level;
  } rows[] = {
      {-5, CVp9Encoder::kWorstLevel},
      {0, CVp9Encoder::kWorstLevel},
      {35, 37},
      {CConvertCommand::kDefaultQuality, CVp9Encoder::kDefaultLevel},
      {85, 6},
      {100, CVp9Encoder::kBestLevel},
      {120, CVp9Encoder::kBestLevel},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(CConvertCommand::LevelOf(row.quality), row.level) << "quality " << row.quality;
  }
}

TEST(ConvertQuality, AHigherQualityNeverGivesAHigherLevel) {
  for (int quality = 1; quality <= 100; ++quality) {
    EXPECT_LE(CConvertCommand::LevelOf(quality), CConvertCommand::LevelOf(quality - 1))
        << "quality " << quality;
  }
}
