#include <gtest/gtest.h>
#include <platform/Faults.h>
#include <win/platform.h>

#include <cstring>

using platform::AllocationKind;

TEST(TaskMemoryTest, AllocatesWritableDistinctBlocksAndFreesNullQuietly) {
  auto* first = static_cast<uint8_t*>(CoTaskMemAlloc(64));
  auto* second = static_cast<uint8_t*>(CoTaskMemAlloc(64));
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_NE(first, second);
  std::memset(first, 0xAB, 64);
  std::memset(second, 0xCD, 64);
  EXPECT_EQ(first[63], 0xAB);
  CoTaskMemFree(first);
  CoTaskMemFree(second);
  CoTaskMemFree(nullptr);
}

TEST(TaskMemoryTest, ZeroBytesStillYieldsABlock) {
  void* block = CoTaskMemAlloc(0);
  EXPECT_NE(block, nullptr);
  CoTaskMemFree(block);
}

TEST(TaskMemoryTest, ReallocKeepsContentsAndHandlesNullAndZero) {
  auto* block = static_cast<char*>(CoTaskMemRealloc(nullptr, 4));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "abcd", 4);
  block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(std::memcmp(block, "abcd", 4), 0);
  EXPECT_EQ(CoTaskMemRealloc(block, 0), nullptr);  // frees the block
}

TEST(TaskMemoryTest, FailsExactlyTheNthAllocationThenRecovers) {
  platform::FailNthAllocation(AllocationKind::TaskMemory, 3);
  void* blocks[4];
  for (void*& block : blocks) {
    block = CoTaskMemAlloc(16);
  }
  EXPECT_NE(blocks[0], nullptr);
  EXPECT_NE(blocks[1], nullptr);
  EXPECT_EQ(blocks[2], nullptr);
  EXPECT_NE(blocks[3], nullptr);
  EXPECT_EQ(platform::AllocationCount(AllocationKind::TaskMemory), 4);
  for (void* block : blocks) {
    CoTaskMemFree(block);
  }

  platform::FailAllocationsFrom(AllocationKind::TaskMemory, 1);
  EXPECT_EQ(CoTaskMemAlloc(16), nullptr);
  EXPECT_EQ(CoTaskMemAlloc(16), nullptr);
  platform::ResetAllocationFaults();
  void* block = CoTaskMemAlloc(16);
  EXPECT_NE(block, nullptr);
  CoTaskMemFree(block);
}

TEST(TaskMemoryTest, FailedReallocLeavesTheOldBlockIntact) {
  auto* block = static_cast<char*>(CoTaskMemAlloc(8));
  ASSERT_NE(block, nullptr);
  std::memcpy(block, "tessaly", 8);
  platform::FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_EQ(CoTaskMemRealloc(block, 1 << 20), nullptr);
  EXPECT_STREQ(block, "tessaly");
  CoTaskMemFree(block);
}

TEST(TaskMemoryTest, OtherKindsOfFaultLeaveTaskMemoryAlone) {
  platform::FailAllocationsFrom(AllocationKind::CommittedPages, 1);
  void* block = CoTaskMemAlloc(16);
  EXPECT_NE(block, nullptr);
  CoTaskMemFree(block);
}
