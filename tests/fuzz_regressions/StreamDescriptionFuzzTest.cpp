#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "FuzzInputFiles.h"
#include "SeedCorpus.h"
#include "StreamDescriptionCheck.h"
#include "film/CCpkStreamDescription.h"
#include "filmwriter/FilmWriter.h"
#include "support/MemoryByteSource.h"

using fuzzcheck::CheckStreamDescriptionInput;
using fuzzcheck::MakeStreamDescriptionInput;
using fuzzcheck::StreamDescriptionControl;

namespace {

std::string Check(const std::vector<uint8_t>& input, bool largeRegions = true) {
  return CheckStreamDescriptionInput(input.data(), input.size(), largeRegions);
}

std::vector<uint8_t> MixedFilm() {
  filmwriter::FilmWriter writer;
  writer.AddAudio({1, 2, 3, 4, 5});
  writer.AddVideo(std::vector<uint8_t>(16, 7), 40);
  return writer.Build();
}

// How the first parse of a seed ends, told apart by the reads it made.
std::string ParseOutcome(const std::vector<uint8_t>& input) {
  StreamDescriptionControl control = StreamDescriptionControl::Decode(input.data(), input.size());
  size_t skip = std::min(input.size(), StreamDescriptionControl::kLength);
  MemoryByteSource source(std::vector<uint8_t>(input.begin() + skip, input.end()));
  if (control.pastEndShort) source.SetPastEnd(MemoryByteSource::PastEnd::ShortRead);
  source.Plan({control.firstHeaderRead, control.firstTableRead});
  HRESULT constructed = S_OK;
  CCpkStreamDescription description(&constructed);
  HRESULT hr = description.ParseStreamDescription(&source);
  if (hr == S_OK) return "parsed";
  if (hr == E_OUTOFMEMORY) return "region too large";
  if (source.Reads().size() == 1) {
    return FAILED(source.Reads()[0].result) ? "header unreadable" : "no region";
  }
  return "table unreadable";
}

}  // namespace

TEST(StreamDescriptionFuzzTest, EveryGeneratedSeedKeepsThePromises) {
  std::vector<fuzzcheck::Seed> seeds = fuzzcheck::StreamDescriptionSeeds();
  ASSERT_GE(seeds.size(), 40u);
  std::set<std::string> names;
  for (const fuzzcheck::Seed& seed : seeds) {
    EXPECT_TRUE(names.insert(seed.name).second) << seed.name;
    EXPECT_EQ(Check(seed.bytes), "") << seed.name;
  }
}

TEST(StreamDescriptionFuzzTest, SeedsReachEveryParseOutcome) {
  std::set<std::string> outcomes;
  for (const fuzzcheck::Seed& seed : fuzzcheck::StreamDescriptionSeeds()) {
    outcomes.insert(ParseOutcome(seed.bytes));
  }
  EXPECT_EQ(outcomes, (std::set<std::string>{"parsed", "region too large", "header unreadable",
                                             "no region", "table unreadable"}));
}

// The hand-made seeds: row indices whose 16-byte offsets wrap in 32 bits, a
// reparse that finds no region, regions past the quick limit and of 64 MiB in
// a file of 200 bytes whose reads past the end come short or fail.
TEST(StreamDescriptionFuzzTest, CommittedInputsKeepThePromises) {
  for (const auto& [name, bytes] : CommittedFuzzInputs("stream_description")) {
    EXPECT_EQ(Check(bytes), "") << name;
  }
}

TEST(StreamDescriptionFuzzTest, InputsTooShortForTheControlBlockAreEmptyFiles) {
  for (size_t size = 0; size <= StreamDescriptionControl::kLength; ++size) {
    std::vector<uint8_t> input(size, 0x03);
    EXPECT_EQ(Check(input), "") << size;
  }
}

TEST(StreamDescriptionFuzzTest, FuzzingSkipsLargeRegionsButTheyStillParse) {
  filmwriter::FilmWriter writer;
  writer.AddAudio({1, 2, 3});
  writer.Layout().dataOffset = 48 + 64u * 1024u * 1024u;
  writer.Layout().truncateTo = 200;
  std::vector<uint8_t> input =
      MakeStreamDescriptionInput(StreamDescriptionControl(), writer.Build());
  // Only the part of the region the file holds is read.
  EXPECT_EQ(ParseOutcome(input), "parsed");
  EXPECT_EQ(Check(input, false), "");
  EXPECT_EQ(Check(input, true), "");
}

TEST(StreamDescriptionControlTest, EncodingRoundTrips) {
  StreamDescriptionControl control;
  control.pastEndShort = true;
  control.secondParse = true;
  control.firstHeaderRead = 1;
  control.firstTableRead = 2;
  control.secondHeaderRead = 3;
  control.secondTableRead = 4;
  control.secondFileOffsetRows = 5;
  control.chunkRead = 6;
  control.chunkReadMask = 7;
  control.extraRowIndex = 0x89ABCDEFu;
  std::vector<uint8_t> bytes = control.Encode();
  ASSERT_EQ(bytes.size(), StreamDescriptionControl::kLength);
  EXPECT_EQ(StreamDescriptionControl::Decode(bytes.data(), bytes.size()).Encode(), bytes);
  EXPECT_EQ(MakeStreamDescriptionInput(control, MixedFilm()).size(),
            StreamDescriptionControl::kLength + MixedFilm().size());
}

TEST(MemoryByteSourceTest, ReadsFollowThePlanThenAnswerNormally) {
  MemoryByteSource source({10, 11, 12, 13, 14, 15, 16, 17});
  // Short by 3, S_FALSE, failure, failure with the end-of-file code; then normal.
  source.Plan({(3 << 2) | 2, 1, 3, (1 << 2) | 3});
  BYTE buffer[8] = {};
  EXPECT_EQ(source.ReadAt(0, 8, buffer), S_FALSE);
  EXPECT_EQ(source.ReadAt(2, 2, buffer), S_FALSE);
  EXPECT_EQ(source.ReadAt(0, 1, buffer), E_FAIL);
  HRESULT endOfFile = source.ReadAt(0, 1, buffer);
  EXPECT_TRUE(FAILED(endOfFile));
  EXPECT_NE(endOfFile, E_FAIL);
  EXPECT_EQ(source.ReadAt(4, 4, buffer), S_OK);
  ASSERT_EQ(source.Reads().size(), 5u);
  EXPECT_EQ(source.Reads()[0].copied, 5u);
  EXPECT_EQ(source.Reads()[1].copied, 2u);
  EXPECT_EQ(source.Reads()[2].copied, 0u);
  EXPECT_EQ(source.Reads()[4].copied, 4u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{14, 15, 16, 17}));
}

TEST(MemoryByteSourceTest, ReadsPastTheEndFailOrComeShortByPolicy) {
  BYTE buffer[4] = {9, 9, 9, 9};
  MemoryByteSource failing({1, 2, 3});
  EXPECT_EQ(failing.ReadAt(1, 4, buffer), E_FAIL);
  EXPECT_EQ(failing.ReadAt(0x7FFFFFFFFFFFFFF0, 4, buffer), E_FAIL);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{9, 9, 9, 9}));

  MemoryByteSource shortening({1, 2, 3});
  shortening.SetPastEnd(MemoryByteSource::PastEnd::ShortRead);
  EXPECT_EQ(shortening.ReadAt(1, 4, buffer), S_FALSE);
  EXPECT_EQ(shortening.Reads().back().copied, 2u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), (std::vector<uint8_t>{2, 3, 9, 9}));
  EXPECT_EQ(shortening.ReadAt(10, 4, buffer), S_FALSE);
  EXPECT_EQ(shortening.Reads().back().copied, 0u);
  EXPECT_EQ(shortening.ReadAt(-1, 1, buffer), E_INVALIDARG);
  EXPECT_EQ(shortening.ReadAt(0, -1, buffer), E_INVALIDARG);
}
