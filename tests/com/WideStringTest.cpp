#include <gtest/gtest.h>
#include <platform/Faults.h>

#include <string>

#include "com/WideString.h"

namespace {

using platform::AllocationKind;

TEST(WideStringTest, CopyAndLength) {
  WCHAR buffer[16];
  EXPECT_EQ(WideCopy(buffer, WIDE("Video")), buffer);
  EXPECT_EQ(std::u16string(buffer), u"Video");
  EXPECT_EQ(WideLength(buffer), 5);
  EXPECT_EQ(WideLength(WIDE("")), 0);
  EXPECT_EQ(WideLength(nullptr), 0);
  WideCopy(buffer, nullptr);
  EXPECT_EQ(buffer[0], 0);
}

TEST(WideStringTest, BoundedCopyAlwaysTerminatesWithinTheCapacity) {
  WCHAR buffer[8];
  const WCHAR fill = 0x2A2A;
  auto reset = [&] {
    for (WCHAR& unit : buffer) unit = fill;
  };

  reset();
  WideCopyBounded(buffer, WIDE("Input"), 6);  // exactly fits with its terminator
  EXPECT_EQ(std::u16string(buffer), u"Input");
  EXPECT_EQ(buffer[6], fill);

  reset();
  WideCopyBounded(buffer, WIDE("Input"), 5);  // one short: truncated, terminated
  EXPECT_EQ(std::u16string(buffer), u"Inpu");
  EXPECT_EQ(buffer[5], fill);

  reset();
  WideCopyBounded(buffer, WIDE("Input"), 1);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], fill);

  reset();
  WideCopyBounded(buffer, WIDE("Input"), 0);
  EXPECT_EQ(buffer[0], fill);

  reset();
  WideCopyBounded(buffer, WIDE("In"), 8);
  EXPECT_EQ(std::u16string(buffer), u"In");
  EXPECT_EQ(buffer[3], fill);
}

TEST(WideStringTest, CompareReturnsTheFirstCodeUnitDifference) {
  EXPECT_EQ(WideCompare(WIDE("Audio"), WIDE("Audio")), 0);
  EXPECT_EQ(WideCompare(WIDE("Audio"), WIDE("Video")), 'A' - 'V');
  EXPECT_EQ(WideCompare(WIDE("Video"), WIDE("Audio")), 'V' - 'A');
  EXPECT_EQ(WideCompare(WIDE("In"), WIDE("Input")), -'p');
  EXPECT_EQ(WideCompare(WIDE("Input"), WIDE("In")), 'p');
  EXPECT_EQ(WideCompare(WIDE(""), nullptr), 0);
  // Code units compare unsigned: 0xFFFF sorts after 'a'.
  const WCHAR high[] = {0xFFFF, 0};
  EXPECT_EQ(WideCompare(high, WIDE("a")), 0xFFFF - 'a');
}

TEST(WideStringTest, DuplicateGoesToTaskMemory) {
  WCHAR* copy = nullptr;
  ASSERT_EQ(WideDuplicate(WIDE("Audio"), &copy), S_OK);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(std::u16string(copy), u"Audio");
  CoTaskMemFree(copy);

  ASSERT_EQ(WideDuplicate(WIDE(""), &copy), S_OK);
  EXPECT_EQ(copy[0], 0);
  CoTaskMemFree(copy);

  EXPECT_EQ(WideDuplicate(WIDE("Audio"), nullptr), E_POINTER);

  copy = reinterpret_cast<WCHAR*>(0x1);
  platform::FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_EQ(WideDuplicate(WIDE("Audio"), &copy), E_OUTOFMEMORY);
  EXPECT_EQ(copy, nullptr);
}

}  // namespace
