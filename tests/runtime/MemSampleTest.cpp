// A sample's times, flags, media type and its IMediaSample2 properties.
#include <platform/Faults.h>

#include <cstddef>
#include <cstring>

#include "AllocatorFixture.h"
#include "com/CMediaTypeRecord.h"
#include "com/CountingUnknown.h"

namespace {

using platform::AllocationCount;
using platform::AllocationKind;
using platform::FailNthAllocation;

constexpr LONG kBufferSize = 64;
constexpr DWORD kMediaTimeBit = 0x020;

#define PROPERTY_END(field) \
  static_cast<DWORD>(offsetof(AM_SAMPLE2_PROPERTIES, field) + sizeof(AM_SAMPLE2_PROPERTIES::field))

class MemSampleTest : public AllocatorTest {
 protected:
  void SetUp() override {
    AllocatorTest::SetUp();
    ASSERT_EQ(S_OK, SetProperties(1, kBufferSize));
    ASSERT_EQ(S_OK, m_allocator->Commit());
    ASSERT_TRUE(TakeSample());
  }

  void TearDown() override {
    m_sample2 = nullptr;
    m_sample = nullptr;
    AllocatorTest::TearDown();
  }

  // Hands the one buffer back and takes it again.
  bool TakeSample() {
    m_sample2 = nullptr;
    m_sample = nullptr;
    IMediaSample* sample = TryGetBuffer();
    if (sample == nullptr) {
      return false;
    }
    m_sample.Attach(sample);
    IMediaSample2* sample2 = nullptr;
    if (sample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2)) != S_OK) {
      return false;
    }
    m_sample2.Attach(sample2);
    return true;
  }

  AM_SAMPLE2_PROPERTIES Properties() {
    AM_SAMPLE2_PROPERTIES properties;
    std::memset(&properties, 0, sizeof(properties));
    EXPECT_EQ(S_OK,
              m_sample2->GetProperties(sizeof(properties), reinterpret_cast<BYTE*>(&properties)));
    return properties;
  }

  // Properties that pass every check: the sample's own buffer and size.
  AM_SAMPLE2_PROPERTIES ValidProperties() {
    AM_SAMPLE2_PROPERTIES properties;
    std::memset(&properties, 0, sizeof(properties));
    properties.cbData = sizeof(properties);
    properties.dwTypeSpecificFlags = 0x1234;
    properties.dwSampleFlags = AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID;
    properties.lActual = 10;
    properties.tStart = 100;
    properties.tStop = 200;
    properties.dwStreamId = 7;
    m_sample->GetPointer(&properties.pbBuffer);
    properties.cbBuffer = kBufferSize;
    return properties;
  }

  HRESULT Set(const AM_SAMPLE2_PROPERTIES& properties, DWORD size) {
    return m_sample2->SetProperties(size, reinterpret_cast<const BYTE*>(&properties));
  }

  static void ExpectSame(const AM_SAMPLE2_PROPERTIES& a, const AM_SAMPLE2_PROPERTIES& b) {
    EXPECT_EQ(a.dwTypeSpecificFlags, b.dwTypeSpecificFlags);
    EXPECT_EQ(a.dwSampleFlags, b.dwSampleFlags);
    EXPECT_EQ(a.lActual, b.lActual);
    EXPECT_EQ(a.tStart, b.tStart);
    EXPECT_EQ(a.tStop, b.tStop);
    EXPECT_EQ(a.dwStreamId, b.dwStreamId);
    EXPECT_EQ(a.pMediaType, b.pMediaType);
  }

  CComHolder<IMediaSample> m_sample;
  CComHolder<IMediaSample2> m_sample2;
};

TEST_F(MemSampleTest, NewSampleHasNoTimesFlagsOrType) {
  REFERENCE_TIME start = 11;
  REFERENCE_TIME stop = 22;
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, m_sample->GetTime(&start, &stop));
  EXPECT_EQ(11, start);
  EXPECT_EQ(22, stop);
  EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, m_sample->GetMediaTime(&start, &stop));
  AM_MEDIA_TYPE* type = reinterpret_cast<AM_MEDIA_TYPE*>(&type);
  EXPECT_EQ(S_FALSE, m_sample->GetMediaType(&type));
  EXPECT_EQ(nullptr, type);
  EXPECT_EQ(S_FALSE, m_sample->IsSyncPoint());
  EXPECT_EQ(S_FALSE, m_sample->IsPreroll());
  EXPECT_EQ(S_FALSE, m_sample->IsDiscontinuity());
  EXPECT_EQ(kBufferSize, m_sample->GetSize());
  EXPECT_EQ(kBufferSize, m_sample->GetActualDataLength());
}

TEST_F(MemSampleTest, TimesWithAndWithoutStop) {
  REFERENCE_TIME start = 1000;
  REFERENCE_TIME stop = 2000;
  ASSERT_EQ(S_OK, m_sample->SetTime(&start, &stop));
  REFERENCE_TIME gotStart = 0;
  REFERENCE_TIME gotStop = 0;
  EXPECT_EQ(S_OK, m_sample->GetTime(&gotStart, &gotStop));
  EXPECT_EQ(1000, gotStart);
  EXPECT_EQ(2000, gotStop);

  start = 5000;
  ASSERT_EQ(S_OK, m_sample->SetTime(&start, nullptr));
  EXPECT_EQ(VFW_S_NO_STOP_TIME, m_sample->GetTime(&gotStart, &gotStop));
  EXPECT_EQ(5000, gotStart);
  EXPECT_EQ(5001, gotStop);
  EXPECT_EQ(AM_SAMPLE_TIMEVALID, Properties().dwSampleFlags);

  ASSERT_EQ(S_OK, m_sample->SetTime(nullptr, &stop));
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, m_sample->GetTime(&gotStart, &gotStop));
  EXPECT_EQ(0u, Properties().dwSampleFlags);
  EXPECT_EQ(E_POINTER, m_sample->GetTime(nullptr, &gotStop));
}

TEST_F(MemSampleTest, ActualLengthStaysInsideTheBuffer) {
  EXPECT_EQ(S_OK, m_sample->SetActualDataLength(kBufferSize));
  EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, m_sample->SetActualDataLength(kBufferSize + 1));
  EXPECT_EQ(E_INVALIDARG, m_sample->SetActualDataLength(-1));
  EXPECT_EQ(kBufferSize, m_sample->GetActualDataLength());
  EXPECT_EQ(S_OK, m_sample->SetActualDataLength(0));
  EXPECT_EQ(0, m_sample->GetActualDataLength());
}

TEST_F(MemSampleTest, MediaTimeEndIsAThirtyTwoBitOffset) {
  LONGLONG start = 0;
  LONGLONG end = 0x100000000LL;
  ASSERT_EQ(S_OK, m_sample->SetMediaTime(&start, &end));
  LONGLONG gotStart = -1;
  LONGLONG gotEnd = -1;
  ASSERT_EQ(S_OK, m_sample->GetMediaTime(&gotStart, &gotEnd));
  EXPECT_EQ(0, gotStart);
  EXPECT_EQ(0, gotEnd);

  start = 0x700000000LL;
  end = start - 5;
  ASSERT_EQ(S_OK, m_sample->SetMediaTime(&start, &end));
  ASSERT_EQ(S_OK, m_sample->GetMediaTime(&gotStart, &gotEnd));
  EXPECT_EQ(start, gotStart);
  EXPECT_EQ(start - 5, gotEnd);
  // The media-time bit is the sample's own and never shows in its properties.
  EXPECT_EQ(0u, Properties().dwSampleFlags & kMediaTimeBit);

  EXPECT_EQ(E_POINTER, m_sample->SetMediaTime(&start, nullptr));
  ASSERT_EQ(S_OK, m_sample->SetMediaTime(nullptr, nullptr));
  EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, m_sample->GetMediaTime(&gotStart, &gotEnd));
}

TEST_F(MemSampleTest, MediaTypeIsCopiedInAndOut) {
  CountingUnknown unknown;
  BYTE format[6] = {1, 2, 3, 4, 5, 6};
  {
    CMediaTypeRecord source(&MEDIATYPE_Video);
    ASSERT_TRUE(source.AssignFormat(format, sizeof(format)));
    source.pUnk = &unknown;
    unknown.AddRef();
    ASSERT_EQ(S_OK, m_sample->SetMediaType(&source));
  }
  // The caller's record is gone; the sample holds its own copy.
  EXPECT_EQ(1, unknown.references);
  AM_SAMPLE2_PROPERTIES properties = Properties();
  ASSERT_NE(nullptr, properties.pMediaType);
  EXPECT_EQ(properties.pMediaType, Properties().pMediaType);
  EXPECT_NE(0u, properties.dwSampleFlags & AM_SAMPLE_TYPECHANGED);

  AM_MEDIA_TYPE* first = nullptr;
  AM_MEDIA_TYPE* second = nullptr;
  ASSERT_EQ(S_OK, m_sample->GetMediaType(&first));
  ASSERT_EQ(S_OK, m_sample->GetMediaType(&second));
  EXPECT_NE(first, second);
  EXPECT_NE(properties.pMediaType, first);
  EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, first->majortype));
  ASSERT_EQ(sizeof(format), first->cbFormat);
  EXPECT_NE(properties.pMediaType->pbFormat, first->pbFormat);
  EXPECT_EQ(0, std::memcmp(format, first->pbFormat, sizeof(format)));
  EXPECT_EQ(3, unknown.references);
  DeleteMediaTypeCopy(first);
  DeleteMediaTypeCopy(second);
  EXPECT_EQ(1, unknown.references);

  ASSERT_EQ(S_OK, m_sample->SetMediaType(nullptr));
  EXPECT_EQ(0, unknown.references);
  EXPECT_EQ(0u, Properties().dwSampleFlags & AM_SAMPLE_TYPECHANGED);
  AM_MEDIA_TYPE* none = nullptr;
  EXPECT_EQ(S_FALSE, m_sample->GetMediaType(&none));
}

TEST_F(MemSampleTest, TheAttachedTypeCanBeSetAgainFromItsOwnPointer) {
  BYTE format[4] = {9, 8, 7, 6};
  CMediaTypeRecord source(&MEDIATYPE_Video);
  ASSERT_TRUE(source.AssignFormat(format, sizeof(format)));
  ASSERT_EQ(S_OK, m_sample->SetMediaType(&source));
  ASSERT_EQ(S_OK, m_sample->SetMediaType(Properties().pMediaType));
  AM_MEDIA_TYPE* copy = nullptr;
  ASSERT_EQ(S_OK, m_sample->GetMediaType(&copy));
  EXPECT_TRUE(source == *copy);
  DeleteMediaTypeCopy(copy);
}

TEST_F(MemSampleTest, MediaTypeCopyFailures) {
  CMediaTypeRecord source(&MEDIATYPE_Audio);
  ASSERT_EQ(S_OK, m_sample->SetMediaType(&source));
  FailNthAllocation(AllocationKind::TaskMemory, 1);
  AM_MEDIA_TYPE* copy = reinterpret_cast<AM_MEDIA_TYPE*>(&copy);
  EXPECT_EQ(E_OUTOFMEMORY, m_sample->GetMediaType(&copy));
  EXPECT_EQ(nullptr, copy);

  // A failed replacement leaves no type at all.
  FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_EQ(E_OUTOFMEMORY, m_sample->SetMediaType(&source));
  EXPECT_EQ(S_FALSE, m_sample->GetMediaType(&copy));
  EXPECT_EQ(nullptr, Properties().pMediaType);
  EXPECT_EQ(0u, Properties().dwSampleFlags & AM_SAMPLE_TYPECHANGED);
}

TEST_F(MemSampleTest, ReturnedSampleComesBackWithoutFlagsTimesOrType) {
  CountingUnknown unknown;
  CMediaTypeRecord source(&MEDIATYPE_Audio);
  source.pUnk = &unknown;
  unknown.AddRef();
  ASSERT_EQ(S_OK, m_sample->SetMediaType(&source));
  EXPECT_EQ(2, unknown.references);
  REFERENCE_TIME start = 1;
  REFERENCE_TIME stop = 2;
  m_sample->SetTime(&start, &stop);
  LONGLONG mediaStart = 3;
  LONGLONG mediaEnd = 4;
  m_sample->SetMediaTime(&mediaStart, &mediaEnd);
  m_sample->SetSyncPoint(TRUE);
  m_sample->SetActualDataLength(17);
  AM_SAMPLE2_PROPERTIES properties = ValidProperties();
  properties.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
  properties.lActual = 17;
  properties.pMediaType = &source;
  ASSERT_EQ(S_OK, Set(properties, sizeof(properties)));
  EXPECT_EQ(2, unknown.references);

  IMediaSample* before = m_sample.Get();
  ASSERT_TRUE(TakeSample());
  EXPECT_EQ(before, m_sample.Get());
  EXPECT_EQ(1, unknown.references);
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, m_sample->GetTime(&start, &stop));
  EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, m_sample->GetMediaTime(&mediaStart, &mediaEnd));
  AM_MEDIA_TYPE* type = nullptr;
  EXPECT_EQ(S_FALSE, m_sample->GetMediaType(&type));
  EXPECT_EQ(S_FALSE, m_sample->IsSyncPoint());
  EXPECT_EQ(17, m_sample->GetActualDataLength());
  const AM_SAMPLE2_PROPERTIES after = Properties();
  EXPECT_EQ(0u, after.dwSampleFlags);
  EXPECT_EQ(0u, after.dwTypeSpecificFlags);
  EXPECT_EQ(0u, after.dwStreamId);
}

TEST_F(MemSampleTest, GetPropertiesCopiesOnlyWhatFits) {
  REFERENCE_TIME start = 40;
  REFERENCE_TIME stop = 80;
  m_sample->SetTime(&start, &stop);
  m_sample->SetActualDataLength(33);
  EXPECT_EQ(S_OK, m_sample2->GetProperties(0, nullptr));
  EXPECT_EQ(E_POINTER, m_sample2->GetProperties(4, nullptr));

  BYTE raw[sizeof(AM_SAMPLE2_PROPERTIES) + 36];
  std::memset(raw, 0xCC, sizeof(raw));
  ASSERT_EQ(S_OK, m_sample2->GetProperties(sizeof(raw), raw));
  AM_SAMPLE2_PROPERTIES full;
  std::memcpy(&full, raw, sizeof(full));
  EXPECT_EQ(sizeof(AM_SAMPLE2_PROPERTIES), full.cbData);
  EXPECT_EQ(0xCC, raw[sizeof(AM_SAMPLE2_PROPERTIES)]);
  EXPECT_EQ(static_cast<DWORD>(AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID), full.dwSampleFlags);
  EXPECT_EQ(33, full.lActual);
  EXPECT_EQ(40, full.tStart);
  EXPECT_EQ(80, full.tStop);
  EXPECT_EQ(nullptr, full.pMediaType);
  BYTE* buffer = nullptr;
  m_sample->GetPointer(&buffer);
  EXPECT_EQ(buffer, full.pbBuffer);
  EXPECT_EQ(kBufferSize, full.cbBuffer);

  std::memset(raw, 0xCC, sizeof(raw));
  const DWORD partial = PROPERTY_END(lActual);
  ASSERT_EQ(S_OK, m_sample2->GetProperties(partial, raw));
  AM_SAMPLE2_PROPERTIES head;
  std::memcpy(&head, raw, partial);
  EXPECT_EQ(partial, head.cbData);
  EXPECT_EQ(33, head.lActual);
  EXPECT_EQ(0xCC, raw[partial]);
}

TEST_F(MemSampleTest, SetPropertiesRoundTripsEveryCoveredField) {
  LONGLONG mediaStart = 9;
  LONGLONG mediaEnd = 19;
  m_sample->SetMediaTime(&mediaStart, &mediaEnd);
  CMediaTypeRecord source(&MEDIATYPE_Video);
  AM_SAMPLE2_PROPERTIES properties = ValidProperties();
  properties.dwSampleFlags |= AM_SAMPLE_TYPECHANGED | AM_SAMPLE_FLUSH_ON_PAUSE;
  properties.pMediaType = &source;
  ASSERT_EQ(S_OK, Set(properties, sizeof(properties)));

  const AM_SAMPLE2_PROPERTIES got = Properties();
  EXPECT_EQ(properties.dwSampleFlags, got.dwSampleFlags);
  EXPECT_EQ(0x1234u, got.dwTypeSpecificFlags);
  EXPECT_EQ(10, got.lActual);
  EXPECT_EQ(100, got.tStart);
  EXPECT_EQ(200, got.tStop);
  EXPECT_EQ(7u, got.dwStreamId);
  // The sample keeps a copy of its own.
  ASSERT_NE(nullptr, got.pMediaType);
  EXPECT_NE(properties.pMediaType, got.pMediaType);
  EXPECT_TRUE(IsEqualGUID(MEDIATYPE_Video, got.pMediaType->majortype));
  EXPECT_EQ(S_OK, m_sample->IsSyncPoint());
  // The media times survive: SetProperties cannot touch their bit.
  EXPECT_EQ(S_OK, m_sample->GetMediaTime(&mediaStart, &mediaEnd));
  EXPECT_EQ(19, mediaEnd);
}

TEST_F(MemSampleTest, SetPropertiesChangesOnlyCoveredFields) {
  EXPECT_EQ(S_OK, Set(ValidProperties(), 3));
  EXPECT_EQ(0u, Properties().dwSampleFlags);
  EXPECT_EQ(E_POINTER, m_sample2->SetProperties(sizeof(AM_SAMPLE2_PROPERTIES), nullptr));

  AM_SAMPLE2_PROPERTIES properties = ValidProperties();
  properties.cbData = sizeof(properties);
  ASSERT_EQ(S_OK, Set(properties, PROPERTY_END(dwTypeSpecificFlags)));
  AM_SAMPLE2_PROPERTIES got = Properties();
  EXPECT_EQ(0x1234u, got.dwTypeSpecificFlags);
  EXPECT_EQ(0u, got.dwSampleFlags);
  EXPECT_EQ(kBufferSize, got.lActual);

  // The smaller of the caller's size and cbData decides the coverage.
  properties.cbData = PROPERTY_END(lActual);
  properties.dwSampleFlags = AM_SAMPLE_PREROLL;
  ASSERT_EQ(S_OK, Set(properties, sizeof(properties)));
  got = Properties();
  EXPECT_EQ(static_cast<DWORD>(AM_SAMPLE_PREROLL), got.dwSampleFlags);
  EXPECT_EQ(10, got.lActual);
  EXPECT_EQ(0, got.tStart);
  EXPECT_EQ(0u, got.dwStreamId);

  properties = ValidProperties();
  properties.cbData = sizeof(properties) + 1;
  EXPECT_EQ(E_INVALIDARG, Set(properties, sizeof(properties)));
}

TEST_F(MemSampleTest, SetPropertiesRefusesBadFieldsAndChangesNothing) {
  REFERENCE_TIME start = 5;
  m_sample->SetTime(&start, nullptr);
  m_sample->SetActualDataLength(20);
  const AM_SAMPLE2_PROPERTIES before = Properties();

  AM_SAMPLE2_PROPERTIES properties = ValidProperties();
  properties.dwSampleFlags = kMediaTimeBit;
  EXPECT_EQ(E_INVALIDARG, Set(properties, sizeof(properties)));
  properties.dwSampleFlags = AM_SAMPLE_ENDOFSTREAM;
  EXPECT_EQ(E_INVALIDARG, Set(properties, sizeof(properties)));

  properties = ValidProperties();
  BYTE other[4];
  properties.pbBuffer = other;
  EXPECT_EQ(E_INVALIDARG, Set(properties, sizeof(properties)));

  properties = ValidProperties();
  properties.cbBuffer = kBufferSize + 1;
  EXPECT_EQ(E_INVALIDARG, Set(properties, sizeof(properties)));
  properties.cbBuffer = 0;
  properties.lActual = 1;
  EXPECT_EQ(E_INVALIDARG, Set(properties, sizeof(properties)));
  properties.cbBuffer = kBufferSize;
  properties.lActual = kBufferSize + 1;
  EXPECT_EQ(E_INVALIDARG, Set(properties, sizeof(properties)));

  // Without cbBuffer in reach the length is still held to the buffer.
  properties = ValidProperties();
  properties.lActual = kBufferSize + 1;
  EXPECT_EQ(E_INVALIDARG, Set(properties, PROPERTY_END(lActual)));
  properties.lActual = -1;
  EXPECT_EQ(E_INVALIDARG, Set(properties, PROPERTY_END(lActual)));

  ExpectSame(before, Properties());
  EXPECT_EQ(20, m_sample->GetActualDataLength());

  // A null buffer pointer and a zero size mean "not given".
  properties = ValidProperties();
  properties.pbBuffer = nullptr;
  properties.cbBuffer = 0;
  properties.lActual = 0;
  EXPECT_EQ(S_OK, Set(properties, sizeof(properties)));
}

TEST_F(MemSampleTest, NewStartTimeNeedsTheStopTimeInReach) {
  AM_SAMPLE2_PROPERTIES properties = ValidProperties();
  properties.dwSampleFlags = AM_SAMPLE_TIMEVALID;
  EXPECT_EQ(E_INVALIDARG, Set(properties, PROPERTY_END(tStart)));
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, m_sample->GetTime(&properties.tStart, &properties.tStop));

  properties = ValidProperties();
  properties.dwSampleFlags = AM_SAMPLE_TIMEVALID;
  ASSERT_EQ(S_OK, Set(properties, PROPERTY_END(tStop)));
  REFERENCE_TIME start = 0;
  REFERENCE_TIME stop = 0;
  EXPECT_EQ(VFW_S_NO_STOP_TIME, m_sample->GetTime(&start, &stop));
  EXPECT_EQ(100, start);

  // Once the sample has a start time, the start alone may change.
  properties.tStart = 300;
  ASSERT_EQ(S_OK, Set(properties, PROPERTY_END(tStart)));
  EXPECT_EQ(VFW_S_NO_STOP_TIME, m_sample->GetTime(&start, &stop));
  EXPECT_EQ(300, start);
}

TEST_F(MemSampleTest, SetPropertiesChecksComeBeforeTheTypeCopy) {
  CMediaTypeRecord source(&MEDIATYPE_Audio);
  AM_SAMPLE2_PROPERTIES properties = ValidProperties();
  properties.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
  properties.pMediaType = nullptr;
  EXPECT_EQ(E_POINTER, Set(properties, sizeof(properties)));

  // An invalid field wins over the missing type, and nothing is copied.
  properties.cbBuffer = kBufferSize + 1;
  EXPECT_EQ(E_INVALIDARG, Set(properties, sizeof(properties)));
  properties.pMediaType = &source;
  EXPECT_EQ(E_INVALIDARG, Set(properties, sizeof(properties)));
  EXPECT_EQ(0, AllocationCount(AllocationKind::TaskMemory));

  properties.cbBuffer = kBufferSize;
  FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_EQ(E_OUTOFMEMORY, Set(properties, sizeof(properties)));
  EXPECT_EQ(0u, Properties().dwSampleFlags);
  EXPECT_EQ(nullptr, Properties().pMediaType);
  EXPECT_EQ(0u, Properties().dwStreamId);

  // Without TYPECHANGED the pointer is not looked at.
  properties.dwSampleFlags = AM_SAMPLE_SPLICEPOINT;
  properties.pMediaType = reinterpret_cast<AM_MEDIA_TYPE*>(&properties);
  EXPECT_EQ(S_OK, Set(properties, sizeof(properties)));
  EXPECT_EQ(nullptr, Properties().pMediaType);
}

}  // namespace
