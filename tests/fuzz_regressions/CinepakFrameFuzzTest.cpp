#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CinepakFrameCheck.h"
#include "FuzzInputFiles.h"
#include "SeedCorpus.h"

TEST(CinepakFrameFuzzTest, EverySeedFrameDecodesWhollyWithinThePicture) {
  const std::vector<fuzzcheck::Seed> seeds = fuzzcheck::CinepakFrameSeeds();
  ASSERT_GE(seeds.size(), 16u);
  for (const fuzzcheck::Seed& seed : seeds) {
    EXPECT_EQ(fuzzcheck::CheckCinepakInput(seed.bytes.data(), seed.bytes.size()), "") << seed.name;
    EXPECT_EQ(fuzzcheck::CinepakFramesDecoded(seed.bytes.data(), seed.bytes.size()), 4u)
        << seed.name;
  }
}

TEST(CinepakFrameFuzzTest, CommittedInputsStayWithinThePicture) {
  for (const auto& [name, bytes] : CommittedFuzzInputs("cinepak_frame")) {
    EXPECT_EQ(fuzzcheck::CheckCinepakInput(bytes.data(), bytes.size()), "") << name;
  }
}
