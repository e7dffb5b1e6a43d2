// The pin and media-type enumerators: counts, positions, clones, and what
// happens when the owner's version moves.
#include "framework/FrameworkTestKit.h"

namespace {

class PinEnumeratorTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    filter = Make<TestSourceFilter>();
    pins = {filter->Output(), filter->AddOutput(WIDE("A")), filter->AddOutput(WIDE("B"))};
    filterCount = filter->ReferenceCount();
    ASSERT_EQ(filter->EnumPins(enumerator.ReleaseAndGetAddressOf()), S_OK);
  }
  void TearDown() override {
    enumerator.Reset();
    filter.Reset();
    FrameworkTest::TearDown();
  }

  // Fetches up to count pins, releasing them, and returns which they were.
  std::vector<IPin*> Fetch(IEnumPins* from, ULONG count, HRESULT expected) {
    std::vector<IPin*> out(count + 1, nullptr);
    ULONG fetched = 99;
    EXPECT_EQ(from->Next(count, out.data(), &fetched), expected);
    out.resize(fetched);
    for (IPin* pin : out) {
      pin->Release();
    }
    return out;
  }

  CComHolder<TestSourceFilter> filter;
  std::vector<IPin*> pins;
  LONG filterCount = 0;
  CComHolder<IEnumPins> enumerator;
};

TEST_F(PinEnumeratorTest, HoldsOneFilterReferenceUntilItsLastRelease) {
  EXPECT_EQ(filter->ReferenceCount(), filterCount + 1);
  CComHolder<IUnknown> identity;
  ASSERT_EQ(enumerator->QueryInterface(IID_IUnknown, identity.ReleaseAndGetVoidAddressOf()), S_OK);
  EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(enumerator.Get()));
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(enumerator->QueryInterface(IID_IEnumMediaTypes, &none), E_NOINTERFACE);
  EXPECT_EQ(none, nullptr);
  identity.Reset();
  enumerator.Reset();
  EXPECT_EQ(filter->ReferenceCount(), filterCount);
}

TEST_F(PinEnumeratorTest, NextReturnsWhatRemainsAndCountsIt) {
  IPin* one = nullptr;
  EXPECT_EQ(enumerator->Next(0, &one, nullptr), S_FALSE);
  EXPECT_EQ(Fetch(enumerator.Get(), 2, S_OK), (std::vector<IPin*>{pins[0], pins[1]}));
  EXPECT_EQ(Fetch(enumerator.Get(), 5, S_FALSE), (std::vector<IPin*>{pins[2]}));
  EXPECT_EQ(Fetch(enumerator.Get(), 1, S_FALSE), std::vector<IPin*>{});
  EXPECT_EQ(filter->ReferenceCount(), filterCount + 1);

  EXPECT_EQ(enumerator->Next(1, nullptr, nullptr), E_POINTER);
  IPin* two[2];
  EXPECT_EQ(enumerator->Next(2, two, nullptr), E_INVALIDARG);
  ASSERT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(enumerator->Next(1, &one, nullptr), S_OK);
  EXPECT_EQ(one, pins[0]);
  one->Release();
}

TEST_F(PinEnumeratorTest, SkipPastTheEndLeavesThePosition) {
  EXPECT_EQ(enumerator->Skip(4), S_FALSE);
  EXPECT_EQ(Fetch(enumerator.Get(), 1, S_OK), (std::vector<IPin*>{pins[0]}));
  EXPECT_EQ(enumerator->Skip(2), S_OK);
  EXPECT_EQ(Fetch(enumerator.Get(), 1, S_FALSE), std::vector<IPin*>{});
  EXPECT_EQ(enumerator->Skip(0), S_OK);
}

TEST_F(PinEnumeratorTest, CloneContinuesFromTheSamePositionAndSkipsReturnedPins) {
  EXPECT_EQ(Fetch(enumerator.Get(), 1, S_OK), (std::vector<IPin*>{pins[0]}));
  CComHolder<IEnumPins> clone;
  ASSERT_EQ(enumerator->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_EQ(filter->ReferenceCount(), filterCount + 2);
  EXPECT_EQ(Fetch(clone.Get(), 3, S_FALSE), (std::vector<IPin*>{pins[1], pins[2]}));

  // After a change of the pin set the clone starts over but still skips
  // the pin its source had returned.
  CComHolder<IEnumPins> second;
  ASSERT_EQ(enumerator->Clone(second.ReleaseAndGetAddressOf()), S_OK);
  filter->SetPinListVersion(2);
  EXPECT_EQ(Fetch(second.Get(), 3, S_FALSE), (std::vector<IPin*>{pins[1], pins[2]}));
  EXPECT_EQ(enumerator->Clone(nullptr), E_POINTER);
}

TEST_F(PinEnumeratorTest, ChangedPinSetResynchronisesNextButStopsSkipAndClone) {
  EXPECT_EQ(Fetch(enumerator.Get(), 1, S_OK), (std::vector<IPin*>{pins[0]}));
  filter->SetPinListVersion(7);
  EXPECT_EQ(enumerator->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
  IEnumPins* clone = reinterpret_cast<IEnumPins*>(1);
  EXPECT_EQ(enumerator->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(clone, nullptr);

  EXPECT_EQ(Fetch(enumerator.Get(), 3, S_FALSE), (std::vector<IPin*>{pins[1], pins[2]}));
  EXPECT_EQ(enumerator->Skip(0), S_OK);  // in step again
  ASSERT_EQ(enumerator->Reset(), S_OK);
  EXPECT_EQ(Fetch(enumerator.Get(), 3, S_OK), pins);
}

TEST_F(PinEnumeratorTest, PinsAddedLaterWaitForReset) {
  IPin* added = filter->AddOutput(WIDE("C"));
  EXPECT_EQ(Fetch(enumerator.Get(), 5, S_FALSE), pins);
  ASSERT_EQ(enumerator->Reset(), S_OK);
  std::vector<IPin*> all = pins;
  all.push_back(added);
  EXPECT_EQ(Fetch(enumerator.Get(), 5, S_FALSE), all);
}

TEST_F(PinEnumeratorTest, MissingPinFailsWithoutKeepingReferences) {
  filter->HidePin(1);
  IPin* out[3] = {nullptr, nullptr, nullptr};
  ULONG fetched = 99;
  EXPECT_EQ(enumerator->Next(3, out, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(out[0], nullptr);
  EXPECT_EQ(filter->ReferenceCount(), filterCount + 1);
  // The pin given back is not counted as returned: the next round offers it.
  filter->HidePin(-1);
  filter->SetPinListVersion(2);
  EXPECT_EQ(Fetch(enumerator.Get(), 3, S_OK), pins);
}

TEST_F(PinEnumeratorTest, AllocationFailuresAreReported) {
  IEnumPins* failed = reinterpret_cast<IEnumPins*>(1);
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 1);
  EXPECT_EQ(filter->EnumPins(&failed), E_OUTOFMEMORY);
  EXPECT_EQ(failed, nullptr);
  platform::FailNthAllocation(platform::AllocationKind::HeapObject, 1);
  EXPECT_EQ(enumerator->Clone(&failed), E_OUTOFMEMORY);
  platform::ResetAllocationFaults();
  EXPECT_EQ(failed, nullptr);
  EXPECT_EQ(filter->EnumPins(nullptr), E_POINTER);
  EXPECT_EQ(filter->ReferenceCount(), filterCount + 1);
}

class MediaTypeEnumeratorTest : public FrameworkTest {
 protected:
  void SetUp() override {
    FrameworkTest::SetUp();
    filter = Make<TestSourceFilter>();
    pin = filter->Output();
    pin->offeredTypes = {AudioPcm(), VideoA(), StreamType()};
    filterCount = filter->ReferenceCount();
    ASSERT_EQ(static_cast<IPin*>(pin)->EnumMediaTypes(types.ReleaseAndGetAddressOf()), S_OK);
  }
  void TearDown() override {
    types.Reset();
    filter.Reset();
    FrameworkTest::TearDown();
  }

  // Fetches up to count types, frees them, and returns copies.
  std::vector<CMediaTypeRecord> Fetch(IEnumMediaTypes* from, ULONG count, HRESULT expected) {
    std::vector<AM_MEDIA_TYPE*> out(count + 1, nullptr);
    ULONG fetched = 99;
    EXPECT_EQ(from->Next(count, out.data(), &fetched), expected);
    std::vector<CMediaTypeRecord> copies;
    for (ULONG i = 0; i < fetched; ++i) {
      copies.emplace_back(*out[i]);
      DeleteMediaTypeCopy(out[i]);
    }
    return copies;
  }

  CComHolder<TestSourceFilter> filter;
  TestOutputPin* pin = nullptr;
  LONG filterCount = 0;
  CComHolder<IEnumMediaTypes> types;
};

TEST_F(MediaTypeEnumeratorTest, NextHandsOutOwnedCopiesInOrder) {
  AM_MEDIA_TYPE* none = nullptr;
  ULONG fetched = 99;
  EXPECT_EQ(types->Next(0, &none, &fetched), S_OK);
  EXPECT_EQ(fetched, 0u);

  std::vector<CMediaTypeRecord> first = Fetch(types.Get(), 2, S_OK);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_TRUE(SameTypes(first[0], AudioPcm()));
  EXPECT_TRUE(SameTypes(first[1], VideoA()));
  std::vector<CMediaTypeRecord> rest = Fetch(types.Get(), 5, S_FALSE);
  ASSERT_EQ(rest.size(), 1u);
  EXPECT_TRUE(SameTypes(rest[0], StreamType()));
  EXPECT_TRUE(Fetch(types.Get(), 1, S_FALSE).empty());

  AM_MEDIA_TYPE* two[2];
  EXPECT_EQ(types->Next(2, two, nullptr), E_INVALIDARG);
  EXPECT_EQ(types->Next(1, nullptr, nullptr), E_POINTER);
}

TEST_F(MediaTypeEnumeratorTest, HoldsOnePinReferenceThatReachesTheFilter) {
  EXPECT_EQ(filter->ReferenceCount(), filterCount + 1);
  types.Reset();
  EXPECT_EQ(filter->ReferenceCount(), filterCount);
}

TEST_F(MediaTypeEnumeratorTest, SkipPastTheEndStaysThereUntilReset) {
  EXPECT_EQ(types->Skip(1), S_OK);
  EXPECT_TRUE(SameTypes(Fetch(types.Get(), 1, S_OK).at(0), VideoA()));
  EXPECT_EQ(types->Skip(5), S_FALSE);
  EXPECT_TRUE(Fetch(types.Get(), 1, S_FALSE).empty());
  ASSERT_EQ(types->Reset(), S_OK);
  EXPECT_TRUE(SameTypes(Fetch(types.Get(), 1, S_OK).at(0), AudioPcm()));
}

TEST_F(MediaTypeEnumeratorTest, SkipZeroAtTheStartAsksForTheTypeBeforeIt) {
  EXPECT_EQ(types->Skip(0), S_FALSE);
  EXPECT_EQ(Fetch(types.Get(), 3, S_OK).size(), 3u);
}

TEST_F(MediaTypeEnumeratorTest, CloneContinuesFromTheSamePosition) {
  EXPECT_EQ(types->Skip(2), S_OK);
  CComHolder<IEnumMediaTypes> clone;
  ASSERT_EQ(types->Clone(clone.ReleaseAndGetAddressOf()), S_OK);
  std::vector<CMediaTypeRecord> fromClone = Fetch(clone.Get(), 2, S_FALSE);
  ASSERT_EQ(fromClone.size(), 1u);
  EXPECT_TRUE(SameTypes(fromClone[0], StreamType()));
  EXPECT_EQ(filter->ReferenceCount(), filterCount + 2);
}

TEST_F(MediaTypeEnumeratorTest, ChangedTypeListStopsEverythingButReset) {
  pin->SetTypeVersion(2);
  AM_MEDIA_TYPE* one = reinterpret_cast<AM_MEDIA_TYPE*>(1);
  ULONG fetched = 99;
  EXPECT_EQ(types->Next(1, &one, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(fetched, 99u);
  EXPECT_EQ(types->Skip(1), VFW_E_ENUM_OUT_OF_SYNC);
  IEnumMediaTypes* clone = reinterpret_cast<IEnumMediaTypes*>(1);
  EXPECT_EQ(types->Clone(&clone), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(clone, nullptr);
  ASSERT_EQ(types->Reset(), S_OK);
  EXPECT_EQ(Fetch(types.Get(), 1, S_OK).size(), 1u);
}

TEST_F(MediaTypeEnumeratorTest, BlockThatCannotBeAllocatedEndsNextWithANullSlot) {
  // The first task allocation is the local copy's format block, the second
  // the block that would be handed out.
  platform::FailNthAllocation(platform::AllocationKind::TaskMemory, 2);
  AM_MEDIA_TYPE* out[2] = {reinterpret_cast<AM_MEDIA_TYPE*>(1), nullptr};
  ULONG fetched = 99;
  EXPECT_EQ(types->Next(2, out, &fetched), S_FALSE);
  platform::ResetAllocationFaults();
  EXPECT_EQ(fetched, 0u);
  EXPECT_EQ(out[0], nullptr);
}

TEST_F(MediaTypeEnumeratorTest, InputPinOffersNothing) {
  auto sink = Make<RecordingSinkFilter>();
  CComHolder<IEnumMediaTypes> none;
  ASSERT_EQ(static_cast<IPin*>(sink->Input())->EnumMediaTypes(none.ReleaseAndGetAddressOf()), S_OK);
  EXPECT_TRUE(Fetch(none.Get(), 1, S_FALSE).empty());
}

}  // namespace
