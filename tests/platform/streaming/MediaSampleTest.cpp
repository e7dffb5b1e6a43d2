// The properties of the system allocator's samples.
#include <platform/Faults.h>

#include <cstddef>
#include <cstring>

#include "StreamingTestSupport.h"

namespace streaming_test {
namespace {

class MediaSampleTest : public ComTest {
 protected:
  void SetUp() override {
    ComTest::SetUp();
    allocator = Create<IMemAllocator>(CLSID_MemoryAllocator, IID_IMemAllocator);
    ALLOCATOR_PROPERTIES request{1, 128, 1, 0}, actual{};
    ASSERT_EQ(S_OK, allocator->SetProperties(&request, &actual));
    ASSERT_EQ(S_OK, allocator->Commit());
    ASSERT_EQ(S_OK, allocator->GetBuffer(sample.ReleaseAndGetAddressOf(), nullptr, nullptr, 0));
    ASSERT_EQ(S_OK,
              sample->QueryInterface(IID_IMediaSample2, sample2.ReleaseAndGetVoidAddressOf()));
  }
  void TearDown() override {
    sample2.Reset();
    sample.Reset();
    allocator.Reset();
    ComTest::TearDown();
  }

  AM_SAMPLE2_PROPERTIES Properties() {
    AM_SAMPLE2_PROPERTIES props{};
    EXPECT_EQ(S_OK, sample2->GetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)));
    return props;
  }

  CComHolder<IMemAllocator> allocator;
  CComHolder<IMediaSample> sample;
  CComHolder<IMediaSample2> sample2;
};

TEST_F(MediaSampleTest, TimesReportWhatWasSet) {
  REFERENCE_TIME start = -1, stop = -1;
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, sample->GetTime(&start, &stop));
  EXPECT_EQ(E_POINTER, sample->GetTime(nullptr, &stop));

  REFERENCE_TIME setStart = 400000, setStop = 800000;
  ASSERT_EQ(S_OK, sample->SetTime(&setStart, nullptr));
  EXPECT_EQ(VFW_S_NO_STOP_TIME, sample->GetTime(&start, &stop));
  EXPECT_EQ(400000, start);
  EXPECT_EQ(400001, stop);

  ASSERT_EQ(S_OK, sample->SetTime(&setStart, &setStop));
  EXPECT_EQ(S_OK, sample->GetTime(&start, &stop));
  EXPECT_EQ(400000, start);
  EXPECT_EQ(800000, stop);

  ASSERT_EQ(S_OK, sample->SetTime(nullptr, &setStop));
  EXPECT_EQ(VFW_E_SAMPLE_TIME_NOT_SET, sample->GetTime(&start, &stop));
}

TEST_F(MediaSampleTest, MediaTimesReportWhatWasSet) {
  LONGLONG start = 0, stop = 0;
  EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, sample->GetMediaTime(&start, &stop));
  LONGLONG setStart = 3, setStop = 4;
  EXPECT_EQ(E_POINTER, sample->SetMediaTime(&setStart, nullptr));
  EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, sample->GetMediaTime(&start, &stop));
  ASSERT_EQ(S_OK, sample->SetMediaTime(&setStart, &setStop));
  EXPECT_EQ(S_OK, sample->GetMediaTime(&start, &stop));
  EXPECT_EQ(3, start);
  EXPECT_EQ(4, stop);
  ASSERT_EQ(S_OK, sample->SetMediaTime(nullptr, nullptr));
  EXPECT_EQ(VFW_E_MEDIA_TIME_NOT_SET, sample->GetMediaTime(&start, &stop));
}

TEST_F(MediaSampleTest, FlagsAreIndependent) {
  ASSERT_EQ(S_OK, sample->SetSyncPoint(TRUE));
  EXPECT_EQ(S_OK, sample->IsSyncPoint());
  EXPECT_EQ(S_FALSE, sample->IsPreroll());
  EXPECT_EQ(S_FALSE, sample->IsDiscontinuity());
  ASSERT_EQ(S_OK, sample->SetDiscontinuity(TRUE));
  ASSERT_EQ(S_OK, sample->SetPreroll(TRUE));
  ASSERT_EQ(S_OK, sample->SetSyncPoint(FALSE));
  EXPECT_EQ(S_FALSE, sample->IsSyncPoint());
  EXPECT_EQ(S_OK, sample->IsPreroll());
  EXPECT_EQ(S_OK, sample->IsDiscontinuity());
  EXPECT_EQ(DWORD{AM_SAMPLE_PREROLL | AM_SAMPLE_DATADISCONTINUITY}, Properties().dwSampleFlags);
}

TEST_F(MediaSampleTest, ActualLengthStaysWithinTheBuffer) {
  const LONG size = sample->GetSize();
  ASSERT_EQ(128, size);
  EXPECT_EQ(S_OK, sample->SetActualDataLength(size));
  EXPECT_EQ(S_OK, sample->SetActualDataLength(0));
  EXPECT_EQ(VFW_E_BUFFER_OVERFLOW, sample->SetActualDataLength(size + 1));
  EXPECT_EQ(E_INVALIDARG, sample->SetActualDataLength(-1));
  EXPECT_EQ(0, sample->GetActualDataLength());
}

TEST_F(MediaSampleTest, MediaTypesAreDeepCopiesInTaskMemory) {
  AM_MEDIA_TYPE* out = reinterpret_cast<AM_MEDIA_TYPE*>(1);
  EXPECT_EQ(S_FALSE, sample->GetMediaType(&out));
  EXPECT_EQ(nullptr, out);
  EXPECT_EQ(E_POINTER, sample->GetMediaType(nullptr));

  BYTE format[6] = {1, 2, 3, 4, 5, 6};
  AM_MEDIA_TYPE type{};
  type.majortype = MEDIATYPE_Video;
  type.formattype = FORMAT_VideoInfo;
  type.lSampleSize = 42;
  type.cbFormat = sizeof(format);
  type.pbFormat = format;
  ASSERT_EQ(S_OK, sample->SetMediaType(&type));
  format[0] = 99;  // the sample kept a copy of its own

  ASSERT_EQ(S_OK, sample->GetMediaType(&out));
  ASSERT_NE(nullptr, out);
  EXPECT_EQ(MEDIATYPE_Video, out->majortype);
  EXPECT_EQ(42u, out->lSampleSize);
  ASSERT_EQ(6u, out->cbFormat);
  EXPECT_NE(format, out->pbFormat);
  EXPECT_EQ(1, out->pbFormat[0]);
  EXPECT_EQ(6, out->pbFormat[5]);
  CoTaskMemFree(out->pbFormat);
  CoTaskMemFree(out);

  AM_SAMPLE2_PROPERTIES props = Properties();
  EXPECT_TRUE(props.dwSampleFlags & AM_SAMPLE_TYPECHANGED);
  ASSERT_NE(nullptr, props.pMediaType);
  EXPECT_EQ(MEDIATYPE_Video, props.pMediaType->majortype);

  ASSERT_EQ(S_OK, sample->SetMediaType(nullptr));
  EXPECT_EQ(S_FALSE, sample->GetMediaType(&out));
  EXPECT_FALSE(Properties().dwSampleFlags & AM_SAMPLE_TYPECHANGED);

  AM_MEDIA_TYPE broken{};
  broken.cbFormat = 4;  // a size without a block
  EXPECT_EQ(E_INVALIDARG, sample->SetMediaType(&broken));
}

TEST_F(MediaSampleTest, MediaTypeCopiesReportOutOfMemory) {
  AM_MEDIA_TYPE type{};
  type.majortype = MEDIATYPE_Audio;
  platform::FailNthAllocation(platform::AllocationKind::TaskMemory, 1);
  EXPECT_EQ(E_OUTOFMEMORY, sample->SetMediaType(&type));
  platform::ResetAllocationFaults();
  AM_MEDIA_TYPE* out = nullptr;
  EXPECT_EQ(S_FALSE, sample->GetMediaType(&out));

  ASSERT_EQ(S_OK, sample->SetMediaType(&type));
  platform::FailNthAllocation(platform::AllocationKind::TaskMemory, 1);
  EXPECT_EQ(E_OUTOFMEMORY, sample->GetMediaType(&out));
  EXPECT_EQ(nullptr, out);
}

TEST_F(MediaSampleTest, GetPropertiesDescribesTheSample) {
  REFERENCE_TIME start = 5, stop = 9;
  sample->SetTime(&start, &stop);
  sample->SetSyncPoint(TRUE);
  sample->SetActualDataLength(17);
  AM_SAMPLE2_PROPERTIES props = Properties();
  EXPECT_EQ(DWORD{sizeof(props)}, props.cbData);
  EXPECT_EQ(DWORD{AM_SAMPLE_SPLICEPOINT | AM_SAMPLE_TIMEVALID | AM_SAMPLE_STOPVALID},
            props.dwSampleFlags);
  EXPECT_EQ(17, props.lActual);
  EXPECT_EQ(5, props.tStart);
  EXPECT_EQ(9, props.tStop);
  EXPECT_EQ(DWORD{AM_STREAM_MEDIA}, props.dwStreamId);
  EXPECT_EQ(nullptr, props.pMediaType);
  BYTE* pointer = nullptr;
  sample->GetPointer(&pointer);
  EXPECT_EQ(pointer, props.pbBuffer);
  EXPECT_EQ(sample->GetSize(), props.cbBuffer);
}

TEST_F(MediaSampleTest, GetPropertiesWritesNoMoreThanAskedFor) {
  BYTE bytes[sizeof(AM_SAMPLE2_PROPERTIES)];
  std::memset(bytes, 0xEE, sizeof(bytes));
  const DWORD asked = offsetof(AM_SAMPLE2_PROPERTIES, lActual);
  ASSERT_EQ(S_OK, sample2->GetProperties(asked, bytes));
  AM_SAMPLE2_PROPERTIES head{};
  std::memcpy(&head, bytes, asked);
  EXPECT_EQ(asked, head.cbData);
  for (size_t i = asked; i < sizeof(bytes); ++i) ASSERT_EQ(0xEE, bytes[i]) << i;
  EXPECT_EQ(E_POINTER, sample2->GetProperties(asked, nullptr));
}

TEST_F(MediaSampleTest, SetPropertiesChangesTheWritableFieldsOrNothing) {
  AM_SAMPLE2_PROPERTIES props = Properties();
  props.dwSampleFlags = AM_SAMPLE_TIMEVALID | AM_SAMPLE_DATADISCONTINUITY;
  props.tStart = 77;
  props.lActual = 3;
  ASSERT_EQ(S_OK, sample2->SetProperties(sizeof(props), reinterpret_cast<BYTE*>(&props)));
  REFERENCE_TIME start = 0, stop = 0;
  EXPECT_EQ(VFW_S_NO_STOP_TIME, sample->GetTime(&start, &stop));
  EXPECT_EQ(77, start);
  EXPECT_EQ(S_OK, sample->IsDiscontinuity());
  EXPECT_EQ(3, sample->GetActualDataLength());

  AM_SAMPLE2_PROPERTIES bad = props;
  bad.tStart = 1;
  bad.pbBuffer = nullptr;  // the buffer cannot be swapped
  EXPECT_EQ(E_INVALIDARG, sample2->SetProperties(sizeof(bad), reinterpret_cast<BYTE*>(&bad)));
  bad = props;
  bad.tStart = 1;
  bad.lActual = sample->GetSize() + 1;
  EXPECT_EQ(VFW_E_BUFFER_OVERFLOW,
            sample2->SetProperties(sizeof(bad), reinterpret_cast<BYTE*>(&bad)));
  bad = props;
  bad.tStart = 1;
  bad.cbData = 8;
  EXPECT_EQ(E_INVALIDARG, sample2->SetProperties(sizeof(bad), reinterpret_cast<BYTE*>(&bad)));
  bad = props;
  bad.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;  // a type change without a type
  EXPECT_EQ(E_INVALIDARG, sample2->SetProperties(sizeof(bad), reinterpret_cast<BYTE*>(&bad)));
  EXPECT_EQ(E_POINTER, sample2->SetProperties(sizeof(bad), nullptr));
  EXPECT_EQ(VFW_S_NO_STOP_TIME, sample->GetTime(&start, &stop));
  EXPECT_EQ(77, start);

  // The buffer fields are optional at the end of the record.
  const DWORD shortSize = offsetof(AM_SAMPLE2_PROPERTIES, pbBuffer);
  AM_SAMPLE2_PROPERTIES brief = props;
  brief.cbData = shortSize;
  brief.tStart = 88;
  EXPECT_EQ(S_OK, sample2->SetProperties(shortSize, reinterpret_cast<BYTE*>(&brief)));
  EXPECT_EQ(VFW_S_NO_STOP_TIME, sample->GetTime(&start, &stop));
  EXPECT_EQ(88, start);
}

}  // namespace
}  // namespace streaming_test
