#include <gtest/gtest.h>
#include <platform/Faults.h>

#include <cstring>
#include <vector>

#include "CountingUnknown.h"
#include "com/CMediaTypeRecord.h"

namespace {

using platform::AllocationKind;
using platform::FailNthAllocation;

const BYTE kFormat[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

CMediaTypeRecord VideoType() {
  CMediaTypeRecord type(&MEDIATYPE_Video);
  const GUID subtype = SubtypeFromFourCC(MAKEFOURCC('c', 'v', 'i', 'd'));
  type.AssignSubtype(&subtype);
  type.AssignFormatType(&FORMAT_VideoInfo);
  EXPECT_TRUE(type.AssignFormat(kFormat, sizeof(kFormat)));
  return type;
}

std::vector<BYTE> FormatBytes(const AM_MEDIA_TYPE& type) {
  return std::vector<BYTE>(type.pbFormat, type.pbFormat + type.cbFormat);
}

TEST(MediaTypeRecordTest, DefaultsAreACompleteWildcard) {
  CMediaTypeRecord type;
  EXPECT_EQ(type.majortype, GUID_NULL);
  EXPECT_EQ(type.subtype, GUID_NULL);
  EXPECT_EQ(type.formattype, GUID_NULL);
  EXPECT_EQ(type.bFixedSizeSamples, TRUE);
  EXPECT_EQ(type.bTemporalCompression, FALSE);
  EXPECT_EQ(type.lSampleSize, 1u);
  EXPECT_EQ(type.pUnk, nullptr);
  EXPECT_EQ(type.cbFormat, 0u);
  EXPECT_EQ(type.pbFormat, nullptr);
  EXPECT_TRUE(type.IsPattern());
  EXPECT_EQ(sizeof(CMediaTypeRecord), sizeof(AM_MEDIA_TYPE));

  CMediaTypeRecord audio(&MEDIATYPE_Audio);
  EXPECT_EQ(audio.majortype, MEDIATYPE_Audio);
  EXPECT_TRUE(audio.IsPattern());  // no format type yet
  audio.AssignFormatType(&FORMAT_WaveFormatEx);
  EXPECT_FALSE(audio.IsPattern());
}

TEST(MediaTypeRecordTest, SampleSizeZeroMakesSamplesVariableAndKeepsTheSize) {
  CMediaTypeRecord type;
  type.AssignSampleSize(4096);
  EXPECT_EQ(type.bFixedSizeSamples, TRUE);
  EXPECT_EQ(type.lSampleSize, 4096u);
  type.AssignSampleSize(0);
  EXPECT_EQ(type.bFixedSizeSamples, FALSE);
  EXPECT_EQ(type.lSampleSize, 4096u);
  type.AssignSampleSize(16);
  EXPECT_EQ(type.bFixedSizeSamples, TRUE);
  EXPECT_EQ(type.lSampleSize, 16u);
}

TEST(MediaTypeRecordTest, SubtypeFromFourCCFollowsTheTemplate) {
  const GUID cvid = SubtypeFromFourCC(MAKEFOURCC('c', 'v', 'i', 'd'));
  EXPECT_EQ(cvid.Data1, 0x64697663u);
  EXPECT_EQ(cvid.Data2, 0x0000);
  EXPECT_EQ(cvid.Data3, 0x0010);
  const BYTE tail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
  EXPECT_EQ(std::memcmp(cvid.Data4, tail, sizeof(tail)), 0);

  EXPECT_EQ(SubtypeFromFourCC(MAKEFOURCC('v', 'i', 'd', 's')), MEDIATYPE_Video);
  EXPECT_EQ(SubtypeFromFourCC(WAVE_FORMAT_PCM), MEDIASUBTYPE_PCM);

  CMediaTypeRecord type;
  type.AssignSubtype(&cvid);
  EXPECT_EQ(type.subtype.Data1, 0x64697663u);
}

TEST(MediaTypeRecordTest, EqualityIgnoresSampleFieldsAndPUnk) {
  CountingUnknown object;
  CMediaTypeRecord a = VideoType();
  CMediaTypeRecord b = VideoType();
  b.AssignSampleSize(1234);
  b.MakeVariableSize();
  b.bTemporalCompression = TRUE;
  b.pUnk = &object;
  object.AddRef();
  EXPECT_TRUE(a == b);
  EXPECT_TRUE(b == a);

  b.pbFormat[9] ^= 0xFF;
  EXPECT_FALSE(a == b);

  CMediaTypeRecord c = VideoType();
  c.AssignFormat(kFormat, sizeof(kFormat) - 1);
  EXPECT_FALSE(a == c);

  CMediaTypeRecord d = VideoType();
  const GUID other = SubtypeFromFourCC(MAKEFOURCC('r', 'l', 'e', ' '));
  d.AssignSubtype(&other);
  EXPECT_FALSE(a == d);
}

TEST(MediaTypeRecordTest, EmptyFormatBlocksCompareEqualWhateverTheyPointAt) {
  BYTE stray[4] = {9, 9, 9, 9};
  AM_MEDIA_TYPE bare;
  ResetMediaType(bare);
  bare.pbFormat = stray;  // cbFormat 0: never read
  CMediaTypeRecord record;
  EXPECT_TRUE(record == bare);

  // A peer claiming a block it does not supply is not a match for a real one.
  CMediaTypeRecord real;
  real.AssignFormatType(&FORMAT_VideoInfo);
  real.AssignFormat(kFormat, 4);
  AM_MEDIA_TYPE missing;
  ResetMediaType(missing);
  missing.formattype = FORMAT_VideoInfo;
  missing.cbFormat = 4;
  EXPECT_FALSE(real == missing);
  EXPECT_FALSE(real.MatchesPattern(&missing));
}

TEST(MediaTypeRecordTest, PatternMatchingTreatsNullGuidsAsWildcards) {
  const CMediaTypeRecord candidate = VideoType();
  CMediaTypeRecord wildcard;
  EXPECT_TRUE(candidate.MatchesPattern(&wildcard));

  CMediaTypeRecord audioOnly(&MEDIATYPE_Audio);
  EXPECT_FALSE(candidate.MatchesPattern(&audioOnly));

  CMediaTypeRecord videoOnly(&MEDIATYPE_Video);
  EXPECT_TRUE(candidate.MatchesPattern(&videoOnly));
  videoOnly.AssignSubtype(&MEDIASUBTYPE_PCM);
  EXPECT_FALSE(candidate.MatchesPattern(&videoOnly));

  // A format type without a block matches only candidates without one.
  CMediaTypeRecord formatOnly;
  formatOnly.AssignFormatType(&FORMAT_VideoInfo);
  EXPECT_FALSE(candidate.MatchesPattern(&formatOnly));
  formatOnly.AssignFormat(kFormat, sizeof(kFormat) - 2);
  EXPECT_FALSE(candidate.MatchesPattern(&formatOnly));
  formatOnly.AssignFormat(kFormat, sizeof(kFormat));
  EXPECT_TRUE(candidate.MatchesPattern(&formatOnly));
  formatOnly.pbFormat[0] = 0;
  EXPECT_FALSE(candidate.MatchesPattern(&formatOnly));

  CMediaTypeRecord otherFormat;
  otherFormat.AssignFormatType(&FORMAT_WaveFormatEx);
  EXPECT_FALSE(candidate.MatchesPattern(&otherFormat));
  EXPECT_FALSE(candidate.MatchesPattern(nullptr));
}

TEST(MediaTypeRecordTest, CopiesAreDeepAndOwnTheirReferences) {
  CountingUnknown object;
  {
    CMediaTypeRecord source = VideoType();
    source.pUnk = &object;
    object.AddRef();

    CMediaTypeRecord copy(source);
    EXPECT_EQ(object.references, 2);
    EXPECT_NE(copy.pbFormat, source.pbFormat);
    EXPECT_EQ(FormatBytes(copy), FormatBytes(source));
    EXPECT_TRUE(copy == source);

    CMediaTypeRecord assigned;
    assigned = source;
    EXPECT_EQ(object.references, 3);
    EXPECT_NE(assigned.pbFormat, source.pbFormat);
    EXPECT_EQ(FormatBytes(assigned), FormatBytes(source));
    EXPECT_EQ(assigned.lSampleSize, source.lSampleSize);

    source.pbFormat[0] = 0x77;
    EXPECT_EQ(copy.pbFormat[0], kFormat[0]);
    EXPECT_EQ(assigned.pbFormat[0], kFormat[0]);

    // Assigning over a record releases what it held.
    assigned = CMediaTypeRecord(&MEDIATYPE_Audio);
    EXPECT_EQ(object.references, 2);
    EXPECT_EQ(assigned.cbFormat, 0u);
    EXPECT_EQ(assigned.pUnk, nullptr);
  }
  EXPECT_EQ(object.references, 0);
}

TEST(MediaTypeRecordTest, SelfAssignmentKeepsTheRecord) {
  CountingUnknown object;
  CMediaTypeRecord record = VideoType();
  record.pUnk = &object;
  object.AddRef();
  BYTE* block = record.pbFormat;

  CMediaTypeRecord& alias = record;
  record = alias;
  record = static_cast<const AM_MEDIA_TYPE&>(alias);
  EXPECT_EQ(record.pbFormat, block);
  EXPECT_EQ(record.cbFormat, sizeof(kFormat));
  EXPECT_EQ(FormatBytes(record), std::vector<BYTE>(kFormat, kFormat + sizeof(kFormat)));
  EXPECT_EQ(object.references, 1);
}

TEST(MediaTypeRecordTest, AssignmentFromABareViewOfItselfKeepsTheContents) {
  CountingUnknown object;
  CMediaTypeRecord record = VideoType();
  record.pUnk = &object;
  object.AddRef();

  const AM_MEDIA_TYPE view = record;  // shares the block and the reference
  record = view;
  EXPECT_EQ(FormatBytes(record), std::vector<BYTE>(kFormat, kFormat + sizeof(kFormat)));
  EXPECT_EQ(record.pUnk, &object);
  EXPECT_EQ(object.references, 1);
}

TEST(MediaTypeRecordTest, ReserveFormatBlockReusesGrowsAndShrinks) {
  CMediaTypeRecord record;
  BYTE* first = record.ReserveFormatBlock(16);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(record.cbFormat, 16u);
  EXPECT_EQ(record.pbFormat, first);

  const int64_t before = platform::AllocationCount(AllocationKind::TaskMemory);
  EXPECT_EQ(record.ReserveFormatBlock(16), first);
  EXPECT_EQ(platform::AllocationCount(AllocationKind::TaskMemory), before);

  BYTE* larger = record.ReserveFormatBlock(64);
  ASSERT_NE(larger, nullptr);
  EXPECT_EQ(record.cbFormat, 64u);
  BYTE* smaller = record.ReserveFormatBlock(8);
  ASSERT_NE(smaller, nullptr);
  EXPECT_EQ(record.cbFormat, 8u);
  EXPECT_EQ(record.pbFormat, smaller);
}

TEST(MediaTypeRecordTest, ReserveFormatBlockFailures) {
  CMediaTypeRecord record;
  ASSERT_TRUE(record.AssignFormat(kFormat, sizeof(kFormat)));
  BYTE* block = record.pbFormat;

  // Growing fails outright and changes nothing.
  FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_EQ(record.ReserveFormatBlock(100), nullptr);
  EXPECT_EQ(record.cbFormat, sizeof(kFormat));
  EXPECT_EQ(record.pbFormat, block);

  // Shrinking falls back on the old, larger block, which keeps its length.
  FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_EQ(record.ReserveFormatBlock(4), block);
  EXPECT_EQ(record.cbFormat, sizeof(kFormat));
  EXPECT_EQ(FormatBytes(record), std::vector<BYTE>(kFormat, kFormat + sizeof(kFormat)));
}

TEST(MediaTypeRecordTest, AssignFormatFailures) {
  CMediaTypeRecord record;
  FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_FALSE(record.AssignFormat(kFormat, sizeof(kFormat)));
  EXPECT_EQ(record.cbFormat, 0u);
  EXPECT_EQ(record.pbFormat, nullptr);

  // Length 0 on an empty record: the block of length 0 is the null one.
  EXPECT_FALSE(record.AssignFormat(kFormat, 0));
  EXPECT_EQ(record.cbFormat, 0u);
  EXPECT_EQ(record.pbFormat, nullptr);

  ASSERT_TRUE(record.AssignFormat(kFormat, sizeof(kFormat)));
  FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_FALSE(record.AssignFormat(kFormat, sizeof(kFormat) + 1));
  EXPECT_EQ(FormatBytes(record), std::vector<BYTE>(kFormat, kFormat + sizeof(kFormat)));

  // A smaller format goes into the old block when no new one can be had.
  const BYTE shorter[] = {0xA0, 0xA1, 0xA2};
  FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_TRUE(record.AssignFormat(shorter, sizeof(shorter)));
  EXPECT_EQ(record.cbFormat, sizeof(kFormat));
  EXPECT_EQ(std::memcmp(record.pbFormat, shorter, sizeof(shorter)), 0);

  EXPECT_FALSE(record.AssignFormat(nullptr, 4));
  EXPECT_EQ(record.cbFormat, sizeof(kFormat));
}

TEST(MediaTypeRecordTest, EmptyingTheFormatBlockFreesIt) {
  CMediaTypeRecord record = VideoType();
  EXPECT_FALSE(record.AssignFormat(kFormat, 0));
  EXPECT_EQ(record.cbFormat, 0u);
  EXPECT_EQ(record.pbFormat, nullptr);
}

TEST(MediaTypeRecordTest, CopyWithoutFormatMemoryKeepsTheFormatType) {
  CountingUnknown object;
  CMediaTypeRecord source = VideoType();
  source.pUnk = &object;
  object.AddRef();

  FailNthAllocation(AllocationKind::TaskMemory, 1);
  CMediaTypeRecord copy(source);
  EXPECT_EQ(copy.cbFormat, 0u);
  EXPECT_EQ(copy.pbFormat, nullptr);
  EXPECT_EQ(copy.formattype, FORMAT_VideoInfo);
  EXPECT_EQ(copy.pUnk, &object);
  EXPECT_EQ(object.references, 2);

  CMediaTypeRecord assigned = VideoType();
  FailNthAllocation(AllocationKind::TaskMemory, 1);
  assigned = source;
  EXPECT_EQ(assigned.cbFormat, 0u);
  EXPECT_EQ(assigned.pbFormat, nullptr);
  EXPECT_EQ(object.references, 3);
}

TEST(MediaTypeHelpersTest, NewMediaTypeCopyIsADeepCopyInTaskMemory) {
  CountingUnknown object;
  CMediaTypeRecord source = VideoType();
  source.pUnk = &object;
  object.AddRef();

  AM_MEDIA_TYPE* copy = NewMediaTypeCopy(&source);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(object.references, 2);
  EXPECT_NE(copy->pbFormat, source.pbFormat);
  EXPECT_EQ(FormatBytes(*copy), FormatBytes(source));
  EXPECT_TRUE(source == *copy);
  DeleteMediaTypeCopy(copy);
  EXPECT_EQ(object.references, 1);

  DeleteMediaTypeCopy(nullptr);
  EXPECT_EQ(NewMediaTypeCopy(nullptr), nullptr);
}

TEST(MediaTypeHelpersTest, NewMediaTypeCopyFailures) {
  CountingUnknown object;
  CMediaTypeRecord source = VideoType();
  source.pUnk = &object;
  object.AddRef();

  FailNthAllocation(AllocationKind::TaskMemory, 1);
  EXPECT_EQ(NewMediaTypeCopy(&source), nullptr);
  EXPECT_EQ(object.references, 1);

  FailNthAllocation(AllocationKind::TaskMemory, 2);
  AM_MEDIA_TYPE* copy = NewMediaTypeCopy(&source);
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->cbFormat, 0u);
  EXPECT_EQ(copy->pbFormat, nullptr);
  EXPECT_EQ(copy->formattype, FORMAT_VideoInfo);
  EXPECT_EQ(object.references, 2);
  DeleteMediaTypeCopy(copy);
  EXPECT_EQ(object.references, 1);
}

TEST(MediaTypeHelpersTest, ReleaseAndCopyContentsOnBareBlocks) {
  CountingUnknown object;
  AM_MEDIA_TYPE bare;
  ResetMediaType(bare);
  bare.majortype = MEDIATYPE_Audio;
  bare.lSampleSize = 4;
  bare.cbFormat = sizeof(kFormat);
  bare.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(sizeof(kFormat)));
  std::memcpy(bare.pbFormat, kFormat, sizeof(kFormat));
  bare.pUnk = &object;
  object.AddRef();

  AM_MEDIA_TYPE target;
  CopyMediaTypeContents(&target, &bare);
  EXPECT_EQ(object.references, 2);
  EXPECT_NE(target.pbFormat, bare.pbFormat);
  EXPECT_EQ(FormatBytes(target), FormatBytes(bare));

  ReleaseMediaTypeContents(bare);
  EXPECT_EQ(object.references, 1);
  EXPECT_EQ(bare.cbFormat, 0u);
  EXPECT_EQ(bare.pbFormat, nullptr);
  EXPECT_EQ(bare.pUnk, nullptr);
  EXPECT_EQ(bare.majortype, MEDIATYPE_Audio);
  EXPECT_EQ(bare.lSampleSize, 4u);

  // Copying a block onto itself changes nothing.
  CopyMediaTypeContents(&target, &target);
  EXPECT_EQ(object.references, 1);
  EXPECT_EQ(FormatBytes(target), std::vector<BYTE>(kFormat, kFormat + sizeof(kFormat)));
  ReleaseMediaTypeContents(target);
  EXPECT_EQ(object.references, 0);

  // A claimed block that is not there is not copied.
  AM_MEDIA_TYPE hollow;
  ResetMediaType(hollow);
  hollow.cbFormat = 32;
  CopyMediaTypeContents(&target, &hollow);
  EXPECT_EQ(target.cbFormat, 0u);
  EXPECT_EQ(target.pbFormat, nullptr);
}

}  // namespace
