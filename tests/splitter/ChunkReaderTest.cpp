#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "SplitterTestKit.h"
#include "film/CCpkStreamDescription.h"
#include "shaping/PayloadConversion.h"
#include "splitter/CCpkChunkReader.h"
#include "splitter/CStreamRun.h"
#include "support/MemoryByteSource.h"

namespace {

// A frame is read with room in front of the sample buffer, without it, and
// into a buffer too short for the stored chunk: the same frame every way, in
// one read where the buffer allows, and no byte written where that way may
// not write.
TEST(CpkChunkReader, EveryWayOfReadingAFrameGivesTheSameFrame) {
  filmwriter::FilmWriter writer;
  const std::vector<uint8_t> frame = Pattern(20000, 3);  // too long to share a read
  writer.AddVideo(frame, 40, true);
  MemoryByteSource source(writer.Build());
  HRESULT result = S_OK;
  CCpkStreamDescription description(&result);
  ASSERT_EQ(description.ParseStreamDescription(&source), S_OK);
  CStreamRun run;
  run.SetEndRow(description.StreamedRowCount());

  constexpr BYTE kGuard = 0xA5;
  const DWORD frameLength = static_cast<DWORD>(frame.size());
  const struct {
    DWORD headroom;
    DWORD bufferSize;
    size_t reads;
  } ways[] = {{2, frameLength, 1}, {0, frameLength + 2, 1}, {0, frameLength, 2}};
  for (const auto& way : ways) {
    SCOPED_TRACE(testing::Message()
                 << "headroom " << way.headroom << ", buffer " << way.bufferSize);
    std::vector<BYTE> memory(2 + frameLength + 8, kGuard);
    BYTE* buffer = memory.data() + 2;
    const size_t readsBefore = source.ReadCount();
    CCpkChunkReader reader(description, source, run, way.headroom);
    const film::RowPlan plan = description.PlanRow(description.RowAt(0), source.AvailableLength());
    ASSERT_EQ(reader.ReadVideoFrame(plan, buffer, way.bufferSize), S_OK);
    EXPECT_EQ(source.ReadCount() - readsBefore, way.reads);
    AdjustVideoFrame(buffer, frameLength);
    EXPECT_EQ(std::vector<BYTE>(buffer, buffer + frameLength), frame);
    for (size_t i = 2 + way.bufferSize; i < memory.size(); ++i) {
      ASSERT_EQ(memory[i], kGuard) << "byte " << i;
    }
    if (way.headroom == 0) {
      EXPECT_EQ(memory[0], kGuard);
      EXPECT_EQ(memory[1], kGuard);
    }
  }
}

// Small audio chunks that lie together come from one read, an empty chunk
// at the very end of what that read brought in too.
TEST(CpkChunkReader, NeighbouringAudioChunksShareOneRead) {
  filmwriter::FilmWriter writer;
  const std::vector<uint8_t> payloads[] = {Pattern(1000, 1), Pattern(1000, 2), {}};
  for (const std::vector<uint8_t>& payload : payloads) {
    writer.AddAudio(payload);
  }
  MemoryByteSource source(writer.Build());
  HRESULT result = S_OK;
  CCpkStreamDescription description(&result);
  ASSERT_EQ(description.ParseStreamDescription(&source), S_OK);
  CStreamRun run;
  run.SetEndRow(description.StreamedRowCount());
  ASSERT_EQ(run.EndRow(), 3u);

  const size_t readsBefore = source.ReadCount();
  CCpkChunkReader reader(description, source, run, 0);
  std::vector<BYTE> buffer(film::kStagingBufferLength);
  for (DWORD row = 0; row < 3; ++row) {
    SCOPED_TRACE(row);
    run.StartAt(row, 0);
    const BYTE* bytes = nullptr;
    film::AudioChunkCut cut = {};
    const film::RowPlan plan =
        description.PlanRow(description.RowAt(row), source.AvailableLength());
    ASSERT_EQ(reader.ReadAudioChunk(plan, buffer.data(), &bytes, &cut), S_OK);
    const std::vector<uint8_t> stored = filmwriter::FilmWriter::EncodeAudio(payloads[row], 1, 8);
    ASSERT_EQ(cut.deliveredLength, stored.size());
    ASSERT_NE(bytes, nullptr);
    EXPECT_TRUE(std::equal(stored.begin(), stored.end(), bytes));
  }
  EXPECT_EQ(source.ReadCount() - readsBefore, 1u);
}

}  // namespace
