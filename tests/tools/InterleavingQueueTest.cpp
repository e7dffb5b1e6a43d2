// The AVI's chunk order: by time whichever stream's thread comes first, with
// a fast stream held back rather than buffered without end.
#include <gtest/gtest.h>

#include <thread>
#include <utility>
#include <vector>

#include "media/CInterleavingQueue.h"

using tessaly::media::CInterleavingQueue;
using tessaly::media::QueuedChunk;

namespace {

using Written = std::vector<std::pair<size_t, REFERENCE_TIME>>;

QueuedChunk Chunk(size_t stream, std::optional<REFERENCE_TIME> start) {
  QueuedChunk chunk;
  chunk.stream = stream;
  chunk.start = start;
  chunk.bytes.assign(4, static_cast<uint8_t>(stream));
  return chunk;
}

// Feeds each stream's chunks whole, the streams in the order given.
Written Feed(const std::vector<std::vector<std::optional<REFERENCE_TIME>>>& streams,
             const std::vector<size_t>& order) {
  Written written;
  CInterleavingQueue queue(streams.size(), [&written](const QueuedChunk& chunk) {
    written.emplace_back(chunk.stream, chunk.key);
    return true;
  });
  for (size_t stream : order) {
    for (const auto& start : streams[stream]) EXPECT_TRUE(queue.Add(Chunk(stream, start)));
    queue.End(stream);
  }
  return written;
}

}  // namespace

TEST(InterleavingQueueTest, WritesByTimeWhicheverStreamArrivesFirst) {
  // An untimed chunk and one that goes back in time keep their stream's place.
  const std::vector<std::vector<std::optional<REFERENCE_TIME>>> streams = {
      {0, 10, std::nullopt, 30}, {0, 5, 30, 20, 40}};
  const Written expected = {{0, 0},  {1, 0},  {1, 5},  {0, 10}, {0, 10},
                            {0, 30}, {1, 30}, {1, 30}, {1, 40}};
  EXPECT_EQ(Feed(streams, {0, 1}), expected);
  EXPECT_EQ(Feed(streams, {1, 0}), expected);
}

TEST(InterleavingQueueTest, AStreamFarAheadWaitsUntilTheOtherCatchesUpAndAFailureStopsBoth) {
  Written written;
  bool failNext = false;
  CInterleavingQueue queue(
      2,
      [&](const QueuedChunk& chunk) {
        written.emplace_back(chunk.stream, chunk.key);
        return !failNext;
      },
      1 << 20, 1);
  // Two chunks held is over the limit of one: the second Add returns only
  // once stream 1 has passed them.
  std::thread ahead([&queue] {
    EXPECT_TRUE(queue.Add(Chunk(0, 0)));
    EXPECT_TRUE(queue.Add(Chunk(0, 10)));
  });
  queue.Add(Chunk(1, 20));
  ahead.join();
  EXPECT_EQ(written, (Written{{0, 0}, {0, 10}}));
  failNext = true;
  EXPECT_FALSE(queue.Add(Chunk(0, 30)));
  EXPECT_FALSE(queue.Add(Chunk(1, 40))) << "nothing more after a failed write";
}

TEST(InterleavingQueueTest, AStreamsEndIsWrittenRightAfterItsLastChunkInTimeOrder) {
  static constexpr REFERENCE_TIME kEnd = -1;
  Written written;
  CInterleavingQueue queue(2, [&written](const QueuedChunk& chunk) {
    written.emplace_back(chunk.stream, chunk.key);
    return true;
  });
  queue.SetEndWriter([&written](size_t stream) {
    written.emplace_back(stream, kEnd);
    return true;
  });
  // Stream 1 is told of stream 0's end only after the chunks before it.
  EXPECT_TRUE(queue.Add(Chunk(1, 0)));
  EXPECT_TRUE(queue.Add(Chunk(1, 20)));
  EXPECT_TRUE(queue.Add(Chunk(0, 10)));
  queue.End(0);
  EXPECT_TRUE(queue.Add(Chunk(1, 30)));
  queue.End(1);
  EXPECT_EQ(written, (Written{{1, 0}, {0, 10}, {0, kEnd}, {1, 20}, {1, 30}, {1, kEnd}}));
}
