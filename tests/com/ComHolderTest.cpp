#include <gtest/gtest.h>

#include <utility>

#include "CountingUnknown.h"
#include "com/CComHolder.h"

namespace {

TEST(ComHolderTest, ConstructionCopyAndDestructionCountReferences) {
  CountingUnknown object;
  {
    CComHolder<IUnknown> first(&object);
    EXPECT_EQ(object.references, 1);
    CComHolder<IUnknown> second(first);
    EXPECT_EQ(object.references, 2);
    CComHolder<IUnknown> third;
    third = second;
    EXPECT_EQ(object.references, 3);
    CComHolder<IUnknown>& alias = third;
    third = alias;
    EXPECT_EQ(object.references, 3);
    EXPECT_EQ(third.Get(), &object);
  }
  EXPECT_EQ(object.references, 0);
}

TEST(ComHolderTest, MoveHandsTheReferenceOn) {
  CountingUnknown object;
  CountingUnknown other;
  CComHolder<IUnknown> source(&object);
  CComHolder<IUnknown> target(std::move(source));
  EXPECT_EQ(object.references, 1);
  EXPECT_FALSE(source);
  EXPECT_TRUE(target);

  CComHolder<IUnknown> replaced(&other);
  replaced = std::move(target);
  EXPECT_EQ(other.references, 0);
  EXPECT_EQ(object.references, 1);
  EXPECT_EQ(replaced.Get(), &object);
}

TEST(ComHolderTest, AttachDetachAndReset) {
  CountingUnknown object;
  object.AddRef();  // a reference the test owns
  CComHolder<IUnknown> holder;
  holder.Attach(&object);
  EXPECT_EQ(object.references, 1);

  IUnknown* raw = holder.Detach();
  EXPECT_EQ(raw, &object);
  EXPECT_FALSE(holder);
  EXPECT_EQ(object.references, 1);

  holder.Attach(raw);
  holder.Reset();
  EXPECT_EQ(object.references, 0);
  holder = nullptr;
  EXPECT_EQ(object.references, 0);
}

TEST(ComHolderTest, OutParameterSlotReleasesFirst) {
  CountingUnknown held;
  CountingUnknown fresh;
  CComHolder<IUnknown> holder(&held);
  ASSERT_EQ(fresh.QueryInterface(IID_IUnknown, holder.ReleaseAndGetVoidAddressOf()), S_OK);
  EXPECT_EQ(held.references, 0);
  EXPECT_EQ(fresh.references, 1);
  EXPECT_EQ(holder.Get(), &fresh);

  IUnknown* out = nullptr;
  EXPECT_EQ(holder.CopyTo(&out), S_OK);
  EXPECT_EQ(out, &fresh);
  EXPECT_EQ(fresh.references, 2);
  out->Release();
  EXPECT_EQ(holder.CopyTo(nullptr), E_POINTER);
}

}  // namespace
