#include <gtest/gtest.h>
#include <platform/Faults.h>

#include <vector>

#include "com/CPointerList.h"

namespace {

using platform::AllocationKind;

std::vector<void*> Walk(const CPointerList& list) {
  std::vector<void*> objects;
  CPointerList::Position position = list.FirstPosition();
  while (position != nullptr) {
    objects.push_back(list.NextObject(position));
  }
  return objects;
}

int a, b, c;

TEST(PointerListTest, EmptyListHasNoPositions) {
  CPointerList list;
  EXPECT_EQ(list.FirstPosition(), nullptr);
  EXPECT_TRUE(list.IsEmpty());
  CPointerList::Position position = nullptr;
  EXPECT_EQ(list.NextObject(position), nullptr);
  EXPECT_EQ(position, nullptr);
  EXPECT_EQ(list.ObjectAt(nullptr), nullptr);
  EXPECT_EQ(list.FindPosition(&a), nullptr);
}

TEST(PointerListTest, WalkReturnsObjectsInAppendOrderWithNullsAndRepeats) {
  CPointerList list;
  CPointerList::Position first = list.Append(&a);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(list.Append(nullptr), nullptr);
  ASSERT_NE(list.Append(&b), nullptr);
  ASSERT_NE(list.Append(&a), nullptr);
  EXPECT_EQ(list.FirstPosition(), first);
  EXPECT_EQ(list.ObjectAt(first), &a);
  EXPECT_EQ(Walk(list), (std::vector<void*>{&a, nullptr, &b, &a}));
}

TEST(PointerListTest, FindPositionReturnsTheEarliestNode) {
  CPointerList list;
  list.Append(&b);
  CPointerList::Position earlier = list.Append(&a);
  CPointerList::Position later = list.Append(&a);
  CPointerList::Position nullNode = list.Append(nullptr);
  EXPECT_NE(earlier, later);
  EXPECT_EQ(list.FindPosition(&a), earlier);
  EXPECT_EQ(list.FindPosition(nullptr), nullNode);
  EXPECT_EQ(list.FindPosition(&c), nullptr);

  CPointerList::Position position = earlier;
  EXPECT_EQ(list.NextObject(position), &a);
  EXPECT_EQ(position, later);
}

TEST(PointerListTest, AppendAllCopiesInOrderAndLeavesTheSourceAlone) {
  CPointerList source;
  source.Append(&a);
  source.Append(&b);
  CPointerList target;
  target.Append(&c);

  CPointerList empty;
  EXPECT_TRUE(target.AppendAll(empty));
  EXPECT_EQ(Walk(target), (std::vector<void*>{&c}));

  EXPECT_TRUE(target.AppendAll(source));
  EXPECT_EQ(Walk(target), (std::vector<void*>{&c, &a, &b}));
  EXPECT_EQ(Walk(source), (std::vector<void*>{&a, &b}));

  // Appending a list to itself doubles it once and stops.
  EXPECT_TRUE(source.AppendAll(source));
  EXPECT_EQ(Walk(source), (std::vector<void*>{&a, &b, &a, &b}));
}

TEST(PointerListTest, FailedAppendLeavesTheListUnchanged) {
  CPointerList list;
  list.Append(&a);
  platform::FailNthAllocation(AllocationKind::HeapObject, 1);
  EXPECT_EQ(list.Append(&b), nullptr);
  EXPECT_EQ(Walk(list), (std::vector<void*>{&a}));
  ASSERT_NE(list.Append(&c), nullptr);
  EXPECT_EQ(Walk(list), (std::vector<void*>{&a, &c}));
}

TEST(PointerListTest, AppendAllStopsAtTheFirstFailureKeepingWhatWasAppended) {
  CPointerList source;
  source.Append(&a);
  source.Append(&b);
  source.Append(&c);
  CPointerList target;
  platform::FailNthAllocation(AllocationKind::HeapObject, 2);
  EXPECT_FALSE(target.AppendAll(source));
  EXPECT_EQ(Walk(target), (std::vector<void*>{&a}));
  EXPECT_EQ(Walk(source), (std::vector<void*>{&a, &b, &c}));
}

TEST(PointerListTest, ClearEmptiesTheListAndLeavesObjectsAlone) {
  int object = 5;
  CPointerList list;
  list.Append(&object);
  list.Append(&object);
  list.Clear();
  EXPECT_TRUE(list.IsEmpty());
  EXPECT_EQ(list.FirstPosition(), nullptr);
  EXPECT_EQ(list.FindPosition(&object), nullptr);
  EXPECT_EQ(object, 5);

  ASSERT_NE(list.Append(&b), nullptr);
  EXPECT_EQ(Walk(list), (std::vector<void*>{&b}));
}

TEST(PointerListTest, RemoveAfterCutsTheTailAndAppendsBehindWhatStays) {
  CPointerList list;
  CPointerList::Position first = list.Append(&a);
  list.Append(&b);
  list.Append(&c);
  list.RemoveAfter(first);
  EXPECT_EQ(list.LastPosition(), first);
  ASSERT_NE(list.Append(&c), nullptr);
  EXPECT_EQ(Walk(list), (std::vector<void*>{&a, &c}));
  list.RemoveAfter(nullptr);
  EXPECT_TRUE(list.IsEmpty());
}

}  // namespace
