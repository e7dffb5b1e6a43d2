#include <gtest/gtest.h>

#include <cstdint>

#include "film/CBigEndianReader.h"

namespace {

const uint8_t kBytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};

TEST(BigEndianReader, AssemblesFieldsMostSignificantByteFirst) {
  CBigEndianReader reader(kBytes, sizeof(kBytes));
  uint8_t u8 = 0;
  uint16_t u16 = 0;
  uint32_t u32 = 0;
  ASSERT_TRUE(reader.ReadU8(5, &u8));
  ASSERT_TRUE(reader.ReadU16(1, &u16));
  ASSERT_TRUE(reader.ReadU32(2, &u32));
  EXPECT_EQ(u8, 0xBC);
  EXPECT_EQ(u16, 0x3456);
  EXPECT_EQ(u32, 0x56789ABCu);
}

TEST(BigEndianReader, RefusesFieldsReachingPastTheEndAndLeavesTheValue) {
  CBigEndianReader reader(kBytes, sizeof(kBytes));
  uint32_t u32 = 0xDEADBEEF;
  uint16_t u16 = 0xBEEF;
  uint8_t u8 = 0xEE;
  EXPECT_FALSE(reader.ReadU32(3, &u32));
  EXPECT_FALSE(reader.ReadU16(5, &u16));
  EXPECT_FALSE(reader.ReadU8(6, &u8));
  // Offsets near 2^32 must not wrap round into the buffer.
  EXPECT_FALSE(reader.ReadU32(0xFFFFFFFEu, &u32));
  EXPECT_FALSE(reader.ReadU32(0xFFFFFFFCu, &u32));
  EXPECT_EQ(u32, 0xDEADBEEFu);
  EXPECT_EQ(u16, 0xBEEF);
  EXPECT_EQ(u8, 0xEE);
  EXPECT_TRUE(reader.Contains(2, 4));
  EXPECT_FALSE(reader.Contains(2, 5));
}

TEST(BigEndianReader, AnEmptyOrMissingBufferHoldsNoField) {
  CBigEndianReader none(nullptr, 16);
  CBigEndianReader empty(kBytes, 0);
  uint8_t u8 = 7;
  EXPECT_FALSE(none.ReadU8(0, &u8));
  EXPECT_FALSE(empty.ReadU8(0, &u8));
  EXPECT_EQ(u8, 7);
}

}  // namespace
