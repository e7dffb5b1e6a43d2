#include <gtest/gtest.h>
#include <platform/ProcessorFeatures.h>

#include <vector>

#include "shaping/PayloadConversion.h"

namespace {

constexpr BYTE kUnwritten = 0xCD;

std::vector<BYTE> Source(size_t length) {
  std::vector<BYTE> source(length);
  for (size_t i = 0; i < length; ++i) {
    source[i] = static_cast<BYTE>(0x31 + 13 * i);
  }
  return source;
}

BYTE Unsigned(BYTE signedSample) { return static_cast<BYTE>((signedSample + 128) % 256); }

// Every conversion test runs twice: with the loops this host's processor
// gets, and with AVX2 hidden, so that the baseline loops every 32-bit build
// runs are checked on a host that would never choose them.
class ConvertAudioChunk : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    platform::HideProcessorFeature(PF_AVX2_INSTRUCTIONS_AVAILABLE, GetParam());
    converters = ChooseAudioConverters();
    if (GetParam()) {
      ASSERT_EQ(converters, AudioConverters::Baseline);
    }
  }
  void TearDown() override {
    platform::HideProcessorFeature(PF_AVX2_INSTRUCTIONS_AVAILABLE, false);
  }

  void Run(const BYTE* source, DWORD length, WORD channels, WORD bits, BYTE* destination) const {
    ::ConvertAudioChunk(source, length, channels, bits, converters, destination);
  }

  // Converts into a buffer pre-filled with kUnwritten, with a guard byte after it.
  std::vector<BYTE> Convert(const std::vector<BYTE>& source, WORD channels, WORD bits) const {
    std::vector<BYTE> destination(source.size() + 1, kUnwritten);
    Run(source.data(), static_cast<DWORD>(source.size()), channels, bits, destination.data());
    EXPECT_EQ(destination.back(), kUnwritten) << "wrote past the chunk";
    destination.pop_back();
    return destination;
  }

  AudioConverters converters = AudioConverters::Baseline;
};

TEST_P(ConvertAudioChunk, WorkedExamples) {
  const std::vector<BYTE> src = {0x00, 0x7F, 0x80, 0xFF, 0x12, 0x34};

  // 16-bit mono, L = 5: two swapped samples, byte 4 not written.
  EXPECT_EQ(Convert({0x01, 0x02, 0x03, 0x04, 0x05}, 1, 16),
            (std::vector<BYTE>{0x02, 0x01, 0x04, 0x03, kUnwritten}));
  // 8-bit stereo, L = 5: src[0], src[2], src[1], src[3]; src[4] not read.
  EXPECT_EQ(Convert({0x00, 0x7F, 0x80, 0xFF, 0x55}, 2, 8),
            (std::vector<BYTE>{0x80, 0x00, 0xFF, 0x7F, kUnwritten}));
  // 16-bit stereo, L = 6: the second channel starts at byte 3, not byte 2.
  EXPECT_EQ(Convert(src, 2, 16),
            (std::vector<BYTE>{0x7F, 0x00, 0x12, 0xFF, kUnwritten, kUnwritten}));
  // 8-bit mono: signed to unsigned.
  EXPECT_EQ(Convert({0x00, 0x7F, 0x80, 0xFF}, 1, 8), (std::vector<BYTE>{0x80, 0xFF, 0x00, 0x7F}));
}

TEST_P(ConvertAudioChunk, AnEmptyChunkWritesNothing) {
  const BYTE source = 0x11;
  for (WORD channels : {1, 2, 3}) {
    for (WORD bits : {8, 16, 12}) {
      BYTE destination = kUnwritten;
      Run(&source, 0, channels, bits, &destination);
      EXPECT_EQ(destination, kUnwritten);
    }
  }
}

// Each layout against its rule written out byte by byte, over lengths that
// cover the vector and word loops, their tails, and odd halves.
TEST_P(ConvertAudioChunk, Mono8MatchesTheByteRuleAtEveryLength) {
  for (size_t length = 0; length <= 300; ++length) {
    const std::vector<BYTE> src = Source(length);
    const std::vector<BYTE> dst = Convert(src, 1, 8);
    for (size_t i = 0; i < length; ++i) {
      ASSERT_EQ(dst[i], Unsigned(src[i])) << "L " << length << " byte " << i;
    }
  }
}

TEST_P(ConvertAudioChunk, Mono16MatchesTheByteRuleAtEveryLength) {
  for (size_t length = 0; length <= 300; ++length) {
    const std::vector<BYTE> src = Source(length);
    const std::vector<BYTE> dst = Convert(src, 1, 16);
    const size_t half = length / 2;
    for (size_t k = 0; k < half; ++k) {
      ASSERT_EQ(dst[2 * k], src[2 * k + 1]) << "L " << length << " k " << k;
      ASSERT_EQ(dst[2 * k + 1], src[2 * k]) << "L " << length << " k " << k;
    }
    for (size_t i = 2 * half; i < length; ++i) {
      ASSERT_EQ(dst[i], kUnwritten) << "L " << length;
    }
  }
}

TEST_P(ConvertAudioChunk, Stereo8MatchesTheByteRuleAtEveryLength) {
  for (size_t length = 0; length <= 300; ++length) {
    const std::vector<BYTE> src = Source(length);
    const std::vector<BYTE> dst = Convert(src, 2, 8);
    const size_t half = length / 2;
    for (size_t k = 0; k < half; ++k) {
      ASSERT_EQ(dst[2 * k], Unsigned(src[k])) << "L " << length << " k " << k;
      ASSERT_EQ(dst[2 * k + 1], Unsigned(src[half + k])) << "L " << length << " k " << k;
    }
    for (size_t i = 2 * half; i < length; ++i) {
      ASSERT_EQ(dst[i], kUnwritten) << "L " << length;
    }
  }
}

TEST_P(ConvertAudioChunk, Stereo16MatchesTheByteRuleAtEveryLength) {
  for (size_t length = 0; length <= 300; ++length) {
    const std::vector<BYTE> src = Source(length);
    const std::vector<BYTE> dst = Convert(src, 2, 16);
    const size_t half = length / 2;
    const size_t quarter = length / 4;
    for (size_t k = 0; k < quarter; ++k) {
      ASSERT_EQ(dst[4 * k], src[2 * k + 1]) << "L " << length << " k " << k;
      ASSERT_EQ(dst[4 * k + 1], src[2 * k]) << "L " << length << " k " << k;
      ASSERT_EQ(dst[4 * k + 2], src[half + 2 * k + 1]) << "L " << length << " k " << k;
      ASSERT_EQ(dst[4 * k + 3], src[half + 2 * k]) << "L " << length << " k " << k;
    }
    for (size_t i = 4 * quarter; i < length; ++i) {
      ASSERT_EQ(dst[i], kUnwritten) << "L " << length;
    }
  }
}

TEST_P(ConvertAudioChunk, ConvertsAFullStagingBuffer) {
  const std::vector<BYTE> src = Source(65536);
  const std::vector<BYTE> dst = Convert(src, 2, 16);
  EXPECT_EQ(dst[65532], src[32767]);
  EXPECT_EQ(dst[65533], src[32766]);
  EXPECT_EQ(dst[65534], src[65535]);
  EXPECT_EQ(dst[65535], src[65534]);
}

TEST_P(ConvertAudioChunk, CopiesLayoutsItHasNoConversionFor) {
  const std::vector<BYTE> src = Source(37);
  const struct {
    WORD channels, bits;
  } layouts[] = {{3, 8}, {3, 16}, {1, 4}, {2, 24}, {1, 32}, {0, 8}, {6, 16}};
  for (const auto& layout : layouts) {
    EXPECT_EQ(Convert(src, layout.channels, layout.bits), src)
        << layout.channels << " channels, " << layout.bits << " bits";
  }
}

// The splitter reads such chunks straight into the sample and converts them
// there: in place must give what a separate destination gets.
TEST_P(ConvertAudioChunk, LayoutsThatConvertInPlaceGiveTheSameBytesThere) {
  const struct {
    WORD channels, bits;
    BOOL inPlace;
  } layouts[] = {{1, 8, TRUE},  {1, 16, TRUE}, {3, 16, TRUE},
                 {2, 24, TRUE}, {2, 8, FALSE}, {2, 16, FALSE}};
  for (const auto& layout : layouts) {
    ASSERT_EQ(ConvertsInPlace(layout.channels, layout.bits), layout.inPlace);
    for (size_t length = layout.inPlace ? 0 : 301; length <= 300; ++length) {
      const std::vector<BYTE> src = Source(length);
      std::vector<BYTE> expected = Convert(src, layout.channels, layout.bits);
      // The odd byte a 16-bit sample cannot use stays as stored.
      if (layout.bits == 16 && length % 2 == 1) {
        expected.back() = src.back();
      }
      std::vector<BYTE> chunk = src;
      Run(chunk.data(), static_cast<DWORD>(length), layout.channels, layout.bits, chunk.data());
      ASSERT_EQ(chunk, expected) << layout.channels << "x" << layout.bits << " L " << length;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ConverterSets, ConvertAudioChunk, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return std::string(info.param ? "Avx2Hidden" : "ProcessorOwn");
                         });

TEST(AdjustVideoFrame, AddsSixToTheBigEndianHeadWord) {
  const struct {
    BYTE before[4];
    BYTE after[4];
  } cases[] = {{{0x00, 0x00, 0x12, 0x34}, {0x00, 0x00, 0x12, 0x3A}},
               {{0x00, 0x00, 0x00, 0xFE}, {0x00, 0x00, 0x01, 0x04}},
               {{0xFF, 0xFF, 0xFF, 0xFD}, {0x00, 0x00, 0x00, 0x03}},
               {{0x00, 0xFF, 0xFF, 0xFA}, {0x01, 0x00, 0x00, 0x00}}};
  for (const auto& c : cases) {
    std::vector<BYTE> frame = {c.before[0], c.before[1], c.before[2], c.before[3], 0xAA,
                               0xBB,        0xCC,        0xDD,        0xEE,        0xFF};
    ASSERT_TRUE(AdjustVideoFrame(frame.data(), static_cast<DWORD>(frame.size())));
    EXPECT_EQ(std::vector<BYTE>(frame.begin(), frame.begin() + 4),
              std::vector<BYTE>(c.after, c.after + 4));
    EXPECT_EQ(std::vector<BYTE>(frame.begin() + 4, frame.end()),
              (std::vector<BYTE>{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF}));
  }
}

TEST(AdjustVideoFrame, LeavesAFrameTooShortForItsHeadWordAlone) {
  BYTE frame[3] = {1, 2, 3};
  EXPECT_FALSE(AdjustVideoFrame(frame, 3));
  EXPECT_FALSE(AdjustVideoFrame(nullptr, 10));
  EXPECT_EQ(frame[2], 3);
  EXPECT_TRUE(AdjustVideoFrame(frame, 0) == FALSE);
}

}  // namespace
