#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "DecodedVideoCheck.h"
#include "ExpectationCheck.h"
#include "FuzzInputFiles.h"
#include "GraphCheck.h"
#include "SeedCorpus.h"
#include "WrittenFilm.h"
#include "filmwriter/CinepakStream.h"
#include "filmwriter/FilmWriter.h"

TEST(GraphFuzzTest, EveryGeneratedSeedKeepsThePromises) {
  std::vector<fuzzcheck::Seed> seeds = fuzzcheck::GraphSeeds();
  ASSERT_GE(seeds.size(), 30u);
  for (const fuzzcheck::Seed& seed : seeds) {
    EXPECT_EQ(fuzzcheck::CheckGraphInput(seed.bytes.data(), seed.bytes.size()), "") << seed.name;
  }
}

TEST(GraphFuzzTest, CommittedInputsKeepThePromises) {
  for (const auto& [name, bytes] : CommittedFuzzInputs("graph")) {
    EXPECT_EQ(fuzzcheck::CheckGraphInput(bytes.data(), bytes.size()), "") << name;
  }
}

// The written seeds must be checked sample by sample: a changed byte or
// time, a lost sample that is no discontinuity, or (undisturbed) a missing
// one is found.
TEST(GraphFuzzTest, TheWriterComparisonFindsWhatDiffers) {
  const std::vector<uint8_t> recipe =
      fuzzcheck::MakeRecipe(0x05, 0x00, 0, {{0, 2205}, {3, 900}, {1, 4410}, {4, 1200}, {0, 700}});
  const filmwriter::FilmExpectation expect =
      fuzzcheck::WriteFilmFromRecipe(recipe.data(), recipe.size()).Expect();
  ASSERT_TRUE(expect.unpredictedRows.empty());
  std::vector<ReceivedSample> audio;
  for (const filmwriter::ExpectedSample& sample : expect.samples) {
    if (sample.stream == filmwriter::Stream::Audio) {
      audio.push_back({S_OK, sample.start, sample.stop, sample.syncPoint, sample.discontinuity,
                       sample.payload});
    }
  }
  ASSERT_EQ(audio.size(), 3u);
  fuzzcheck::ExpectationRules exact;
  exact.exact = true;
  const auto compare = [&](const std::vector<ReceivedSample>& got,
                           const fuzzcheck::ExpectationRules& rules) {
    return fuzzcheck::CompareWithWriter(expect, filmwriter::Stream::Audio, got, rules);
  };
  EXPECT_EQ(compare(audio, exact), "");
  std::vector<ReceivedSample> changed = audio;
  changed[1].bytes[17] ^= 1;
  EXPECT_NE(compare(changed, exact), "");
  changed = audio;
  changed[2].stop += 1;
  EXPECT_NE(compare(changed, exact), "");
  std::vector<ReceivedSample> lost = {audio[0], audio[2]};
  EXPECT_NE(compare(lost, exact), "");
  EXPECT_NE(compare(lost, fuzzcheck::ExpectationRules()), "") << "no discontinuity after a loss";
  lost[1].discontinuity = true;
  EXPECT_EQ(compare(lost, fuzzcheck::ExpectationRules()), "");
}

// The decoder's pictures must follow the frames: one each, not preroll, with
// its times, a damaged frame's marked; a picture of another size is found.
TEST(GraphFuzzTest, ThePictureCheckFindsWhatDiffers) {
  filmwriter::CinepakStream stream(13, 9, 5);
  std::vector<ReceivedSample> frames;
  for (int i = 0; i < 4; ++i) {
    frames.push_back({S_OK, i * 10, i * 10 + 10, i == 0, false, stream.NextFrame(i == 0)});
  }
  frames[2].bytes.resize(5);  // damaged
  frames[1].preroll = true;
  std::vector<ReceivedSample> pictures;
  for (int i : {0, 2, 3}) {
    pictures.push_back({S_OK, i * 10, i * 10 + 10, true, i != 3, std::vector<BYTE>(13 * 9 * 4)});
  }
  const auto check = [&](const std::vector<ReceivedSample>& got) {
    return fuzzcheck::CheckPicturesOfFrames(frames, got, 13, 9);
  };
  EXPECT_EQ(check(pictures), "");
  EXPECT_EQ(fuzzcheck::CheckPictureSizes(pictures, 13 * 9 * 4), "");
  EXPECT_NE(fuzzcheck::CheckPictureSizes(pictures, 13 * 9 * 3), "");
  std::vector<ReceivedSample> changed = pictures;
  changed[1].discontinuity = false;
  EXPECT_NE(check(changed), "") << "a damaged frame's picture is no discontinuity";
  changed = pictures;
  changed[2].start += 1;
  EXPECT_NE(check(changed), "");
  changed = pictures;
  changed.pop_back();
  EXPECT_NE(check(changed), "") << "a frame without its picture";
  changed = pictures;
  changed.push_back(pictures.back());
  EXPECT_NE(check(changed), "") << "a picture without its frame";
  frames[1].preroll = false;
  EXPECT_NE(check(pictures), "") << "a frame not marked preroll was not shown";
}

// Cinepak movies of every kind of size through the decoder into each kind
// of sink, a frame cut short and one of no Cinepak among their frames; a
// picture too large for a video sample buffer goes straight to its sink.
TEST(GraphFuzzTest, DecodedMoviesOfEverySizeKeepThePromises) {
  struct Movie {
    uint32_t width;
    uint32_t height;
  };
  const Movie movies[] = {{1, 1}, {4, 4}, {37, 22}, {256, 256}, {4096, 16}, {257, 256}, {3, 4096}};
  for (const Movie& movie : movies) {
    filmwriter::FilmFormat format;
    format.width = movie.width;
    format.height = movie.height;
    filmwriter::FilmWriter writer(format);
    filmwriter::CinepakStream stream(movie.width, movie.height, movie.width + movie.height);
    for (int i = 0; i < 6; ++i) {
      std::vector<uint8_t> frame = stream.NextFrame(i % 3 == 0);
      if (i == 2) frame.resize(frame.size() - 1);
      if (i == 4) frame.assign(12, 0xFF);
      writer.AddVideo(frame, 40, i % 3 == 0);
    }
    writer.AddAudio(std::vector<uint8_t>(100, 0x80));
    // Allocator 3 attaches the picture's rows the other way up to the second buffer.
    for (uint8_t allocator : {0, 3}) {
      for (uint8_t sink = 1; sink <= 3; ++sink) {
        fuzzcheck::GraphControl control;
        control.decoder = sink;
        control.prefixless = allocator;
        const std::vector<uint8_t> input = fuzzcheck::MakeGraphInput(control, writer.Build());
        EXPECT_EQ(fuzzcheck::CheckGraphInput(input.data(), input.size()), "")
            << movie.width << "x" << movie.height << ", sink " << int{sink} << ", allocator "
            << int{allocator};
      }
    }
  }
}

TEST(GraphControlTest, EncodingRoundTrips) {
  fuzzcheck::GraphControl control;
  control.connectAudio = false;
  control.pastEndFails = true;
  control.refuseVideo = true;
  control.replay = true;
  control.stopAfter = 0x1234;
  control.disturbedRead = 9;
  control.disturbance = 3;
  control.cutBytes = 0x0102;
  control.prefixless = 2;
  control.lengthChange = 1;
  control.written = true;
  control.decoder = 3;
  std::vector<uint8_t> bytes = control.Encode();
  ASSERT_EQ(bytes.size(), fuzzcheck::GraphControl::kLength);
  EXPECT_EQ(fuzzcheck::GraphControl::Decode(bytes.data(), bytes.size()).Encode(), bytes);
}

// Disabled until the splitter keeps its running video time from overflowing
// (reported; the sum is signed 64-bit and wraps to negative times today).
TEST(GraphFuzzTest, VideoTimesBeyondTheRangeOfReferenceTimeStayOrdered) {
  // One tick a second and the longest frame duration: each frame lasts about
  // 4.3e16 units, so the running video time passes 2^63 after 215 frames.
  // Every row points at the same chunk to keep the file small.
  filmwriter::FilmFormat format;
  format.channels = 0;
  format.timeBase = 1;
  filmwriter::FilmWriter writer(format);
  for (int i = 0; i < 230; ++i) {
    writer.AddVideo(std::vector<uint8_t>(12, static_cast<uint8_t>(i)), 0xFFFFFFFFu);
    if (i > 0) writer.SetChunkOffset(static_cast<uint32_t>(i), 0);
  }
  fuzzcheck::GraphControl control;
  std::vector<uint8_t> input = fuzzcheck::MakeGraphInput(control, writer.Build());
  EXPECT_EQ(fuzzcheck::CheckGraphInput(input.data(), input.size()), "");
}
