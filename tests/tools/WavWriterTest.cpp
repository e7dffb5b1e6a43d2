#include <gtest/gtest.h>

#include "RiffReader.h"
#include "TempFolder.h"
#include "media/CWavWriter.h"

using tessaly::media::CWavWriter;
using namespace tools_test;

namespace {

WAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits) {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = channels;
  format.nSamplesPerSec = rate;
  format.wBitsPerSample = bits;
  format.nBlockAlign = static_cast<WORD>(channels * bits / 8);
  format.nAvgBytesPerSec = rate * format.nBlockAlign;
  return format;
}

}  // namespace

TEST(WavWriter, WritesFormatAndDataChunksThatReadBack) {
  TempFolder folder;
  const WAVEFORMATEX format = Pcm(2, 22050, 16);
  const std::vector<uint8_t> first = {1, 2, 3, 4, 5, 6, 7, 8};
  const std::vector<uint8_t> second = {9, 10, 11, 12};
  CWavWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(folder / "a.wav", format, &error)) << error;
  ASSERT_TRUE(writer.Append(first.data(), first.size(), &error)) << error;
  ASSERT_TRUE(writer.Append(second.data(), second.size(), &error)) << error;
  ASSERT_TRUE(writer.Finish(&error)) << error;
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"a.wav"});

  const RiffReader reader(ReadFileBytes(folder / "a.wav"));
  RiffChunk riff;
  ASSERT_TRUE(reader.Parse(&riff, &error)) << error;
  EXPECT_EQ(riff.listType, "WAVE");
  EXPECT_EQ(riff.size, reader.All().size() - 8);
  const RiffChunk* fmt = riff.Child("fmt ");
  ASSERT_NE(fmt, nullptr);
  EXPECT_EQ(fmt->size, 16u);
  EXPECT_EQ(reader.U16(fmt->dataOffset), WAVE_FORMAT_PCM);
  EXPECT_EQ(reader.U16(fmt->dataOffset + 2), 2);
  EXPECT_EQ(reader.U32(fmt->dataOffset + 4), 22050u);
  EXPECT_EQ(reader.U32(fmt->dataOffset + 8), 88200u);
  EXPECT_EQ(reader.U16(fmt->dataOffset + 12), 4);
  EXPECT_EQ(reader.U16(fmt->dataOffset + 14), 16);
  const RiffChunk* data = riff.Child("data");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(reader.Bytes(data->dataOffset, data->size),
            (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
}

TEST(WavWriter, OddDataGetsItsPadByteAndTheTrueSize) {
  TempFolder folder;
  const std::vector<uint8_t> samples = {0x80, 0x81, 0x7F};
  CWavWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(folder / "odd.wav", Pcm(1, 8000, 8), &error));
  ASSERT_TRUE(writer.Append(samples.data(), samples.size(), &error));
  ASSERT_TRUE(writer.Finish(&error));
  const RiffReader reader(ReadFileBytes(folder / "odd.wav"));
  RiffChunk riff;
  ASSERT_TRUE(reader.Parse(&riff, &error)) << error;
  const RiffChunk* data = riff.Child("data");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->size, 3u);
  EXPECT_EQ(reader.All().size() % 2, 0u);
  EXPECT_EQ(reader.Bytes(data->dataOffset, 3), samples);
}

TEST(WavWriter, NothingAppearsUntilFinishAndNothingStaysWhenAbandoned) {
  TempFolder folder;
  const std::vector<uint8_t> samples(100, 7);
  {
    CWavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(folder / "gone.wav", Pcm(1, 8000, 8), &error));
    ASSERT_TRUE(writer.Append(samples.data(), samples.size(), &error));
    const std::vector<std::string> during = folder.Names();
    ASSERT_EQ(during.size(), 1u);
    EXPECT_NE(during[0], "gone.wav");
    writer.Abandon();
  }
  EXPECT_TRUE(folder.Names().empty());
  {
    CWavWriter writer;
    std::string error;
    ASSERT_TRUE(writer.Open(folder / "dropped.wav", Pcm(1, 8000, 8), &error));
  }
  EXPECT_TRUE(folder.Names().empty()) << "an unfinished writer leaves nothing behind";
}

TEST(WavWriter, AFolderThatDoesNotExistIsReportedWithItsPath) {
  TempFolder folder;
  CWavWriter writer;
  std::string error;
  EXPECT_FALSE(writer.Open(folder / "missing/a.wav", Pcm(1, 8000, 8), &error));
  EXPECT_NE(error.find("missing/a.wav"), std::string::npos) << error;
  EXPECT_NE(error.find("No such file"), std::string::npos) << error;
  std::string finishError;
  EXPECT_FALSE(writer.Finish(&finishError));
}
