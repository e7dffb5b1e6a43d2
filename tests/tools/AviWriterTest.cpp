#include <gtest/gtest.h>

#include "AviReader.h"
#include "RiffReader.h"
#include "TempFolder.h"
#include "media/CAviWriter.h"

using tessaly::media::AviVideoFormat;
using tessaly::media::CAviWriter;
using namespace tools_test;

namespace {

AviVideoFormat Cinepak(LONG width, LONG height) {
  AviVideoFormat format;
  format.header.biSize = sizeof(BITMAPINFOHEADER);
  format.header.biWidth = width;
  format.header.biHeight = height;
  format.header.biPlanes = 1;
  format.header.biBitCount = 24;
  format.header.biCompression = MAKEFOURCC('c', 'v', 'i', 'd');
  format.avgTimePerFrame = 200000;
  return format;
}

WAVEFORMATEX Pcm16Stereo() {
  WAVEFORMATEX format{};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 2;
  format.nSamplesPerSec = 22050;
  format.wBitsPerSample = 16;
  format.nBlockAlign = 4;
  format.nAvgBytesPerSec = 88200;
  return format;
}

std::vector<uint8_t> Bytes(size_t count, uint8_t seed) {
  std::vector<uint8_t> bytes(count);
  for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 13);
  return bytes;
}

AviFile ReadBack(const std::string& path) {
  AviFile avi;
  std::string error;
  EXPECT_TRUE(ReadAvi(ReadFileBytes(path), &avi, &error)) << error;
  return avi;
}

}  // namespace

TEST(AviWriter, InterleavesChunksInTheOrderGivenAndIndexesEachOne) {
  TempFolder folder;
  CAviWriter writer;
  std::string error;
  ASSERT_TRUE(writer.Open(folder / "m.avi", Cinepak(160, 120), Pcm16Stereo(), &error)) << error;
  const auto audio0 = Bytes(5880, 1), frame0 = Bytes(1241, 2), audio1 = Bytes(5880, 3),
             frame1 = Bytes(300, 4);
  ASSERT_TRUE(writer.AddAudioChunk(audio0.data(), audio0.size(), 0, &error));
  ASSERT_TRUE(writer.AddVideoFrame(frame0.data(), frame0.size(), true, 0, 666666, &error));
  ASSERT_TRUE(writer.AddAudioChunk(audio1.data(), audio1.size(), 666666, &error));
  ASSERT_TRUE(writer.AddVideoFrame(frame1.data(), frame1.size(), false, 666666, 1333332, &error));
  ASSERT_TRUE(writer.Finish(&error)) << error;
  EXPECT_EQ(folder.Names(), std::vector<std::string>{"m.avi"});

  const AviFile avi = ReadBack(folder / "m.avi");
  EXPECT_EQ(avi.streamCount, 2u);
  EXPECT_EQ(avi.totalFrames, 2u);
  EXPECT_EQ(avi.width, 160u);
  EXPECT_EQ(avi.height, 120u);
  EXPECT_EQ(avi.flags & 0x10u, 0x10u) << "AVIF_HASINDEX";
  ASSERT_EQ(avi.chunks.size(), 4u);
  EXPECT_EQ(avi.chunks[0].id, "01wb");
  EXPECT_EQ(avi.chunks[1].id, "00dc");
  EXPECT_EQ(avi.chunks[2].id, "01wb");
  EXPECT_EQ(avi.chunks[3].id, "00dc");
  EXPECT_EQ(avi.chunks[0].data, audio0);
  EXPECT_EQ(avi.chunks[1].data, frame0) << "an odd chunk keeps its size; the pad is not data";
  EXPECT_EQ(avi.chunks[2].data, audio1);
  EXPECT_EQ(avi.chunks[3].data, frame1);

  ASSERT_EQ(avi.index.size(), 4u);
  const uint32_t expectedFlags[] = {0x10, 0x10, 0x10, 0};
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(avi.index[i].id, avi.chunks[i].id);
    EXPECT_EQ(avi.index[i].offset, avi.chunks[i].offset) << "entry " << i;
    EXPECT_EQ(avi.index[i].size, avi.chunks[i].data.size());
    EXPECT_EQ(avi.index[i].flags, expectedFlags[i]) << "entry " << i;
  }

  ASSERT_EQ(avi.streams.size(), 2u);
  const AviStream& video = avi.streams[0];
  EXPECT_EQ(video.type, "vids");
  EXPECT_EQ(video.handler, "cvid");
  // 666,666 units a frame: 333333/5000000 in lowest terms.
  EXPECT_EQ(video.scale, 333333u);
  EXPECT_EQ(video.rate, 5000000u);
  EXPECT_EQ(video.length, 2u);
  EXPECT_EQ(video.sampleSize, 0u);
  EXPECT_EQ(video.suggestedBufferSize, 1242u);
  ASSERT_EQ(video.format.size(), 40u);
  EXPECT_EQ(std::string(video.format.begin() + 16, video.format.begin() + 20), "cvid");
  const AviStream& audio = avi.streams[1];
  EXPECT_EQ(audio.type, "auds");
  EXPECT_EQ(audio.scale, 4u);
  EXPECT_EQ(audio.rate, 88200u);
  EXPECT_EQ(audio.sampleSize, 4u);
  EXPECT_EQ(audio.length, 2u * 5880 / 4);
  ASSERT_EQ(audio.format.size(), 18u);
  EXPECT_EQ(audio.format[0], 1);
  EXPECT_EQ(audio.format[2], 2);
}

TEST(AviWriter, VideoOnlyAndAudioOnlyFilesHaveOneStreamNumberedZero) {
  TempFolder folder;
  std::string error;
  const auto payload = Bytes(64, 9);
  {
    CAviWriter writer;
    ASSERT_TRUE(writer.Open(folder / "v.avi", Cinepak(32, 16), std::nullopt, &error));
    ASSERT_TRUE(writer.AddVideoFrame(payload.data(), payload.size(), true, 0, 400000, &error));
    ASSERT_TRUE(writer.Finish(&error));
  }
  {
    CAviWriter writer;
    ASSERT_TRUE(writer.Open(folder / "a.avi", std::nullopt, Pcm16Stereo(), &error));
    ASSERT_TRUE(writer.AddAudioChunk(payload.data(), payload.size(), 0, &error));
    ASSERT_TRUE(writer.Finish(&error));
  }
  const AviFile video = ReadBack(folder / "v.avi");
  ASSERT_EQ(video.streams.size(), 1u);
  EXPECT_EQ(video.streams[0].type, "vids");
  EXPECT_EQ(video.streams[0].scale, 1u) << "400,000 units a frame is 1/25 s";
  EXPECT_EQ(video.streams[0].rate, 25u);
  EXPECT_EQ(video.microSecondsPerFrame, 40000u);
  ASSERT_EQ(video.chunks.size(), 1u);
  EXPECT_EQ(video.chunks[0].id, "00dc");

  const AviFile audio = ReadBack(folder / "a.avi");
  ASSERT_EQ(audio.streams.size(), 1u);
  EXPECT_EQ(audio.streams[0].type, "auds");
  EXPECT_EQ(audio.totalFrames, 0u);
  ASSERT_EQ(audio.chunks.size(), 1u);
  EXPECT_EQ(audio.chunks[0].id, "00wb");
  EXPECT_EQ(audio.index[0].flags, 0x10u);
}

TEST(AviWriter, FramesWithoutTimesFallBackToTheDeclaredFrameDuration) {
  TempFolder folder;
  std::string error;
  const auto payload = Bytes(10, 1);
  CAviWriter writer;
  ASSERT_TRUE(writer.Open(folder / "t.avi", Cinepak(8, 8), std::nullopt, &error));
  ASSERT_TRUE(writer.AddVideoFrame(payload.data(), payload.size(), true, std::nullopt, std::nullopt,
                                   &error));
  ASSERT_TRUE(writer.Finish(&error));
  const AviFile avi = ReadBack(folder / "t.avi");
  ASSERT_EQ(avi.streams.size(), 1u);
  EXPECT_EQ(avi.streams[0].scale, 1u) << "200,000 units: 50 frames a second";
  EXPECT_EQ(avi.streams[0].rate, 50u);
}

TEST(AviWriter, AMovieWithNoStreamOrAStreamItLacksIsRefused) {
  TempFolder folder;
  std::string error;
  CAviWriter none;
  EXPECT_FALSE(none.Open(folder / "n.avi", std::nullopt, std::nullopt, &error));
  CAviWriter audioOnly;
  ASSERT_TRUE(audioOnly.Open(folder / "a.avi", std::nullopt, Pcm16Stereo(), &error));
  const uint8_t byte = 0;
  EXPECT_FALSE(audioOnly.AddVideoFrame(&byte, 1, true, 0, 1, &error));
  audioOnly.Abandon();
  EXPECT_TRUE(folder.Names().empty());
}
