#pragma once

#include "Platform.h"

// The owning form of AM_MEDIA_TYPE: the format block (task memory) and the
// pUnk reference belong to the record and are copied deeply. It adds no
// fields and no virtual operations, so a record and an AM_MEDIA_TYPE are
// interchangeable by pointer.
class CMediaTypeRecord : public AM_MEDIA_TYPE {
 public:
  CMediaTypeRecord();
  explicit CMediaTypeRecord(const GUID* majorType);
  CMediaTypeRecord(const CMediaTypeRecord& source);
  CMediaTypeRecord(const AM_MEDIA_TYPE& source);
  ~CMediaTypeRecord();

  CMediaTypeRecord& operator=(const CMediaTypeRecord& source);
  CMediaTypeRecord& operator=(const AM_MEDIA_TYPE& source);

  // Major, sub and format types, format length and format bytes; the sample
  // size, its flags and pUnk take no part.
  bool operator==(const AM_MEDIA_TYPE& other) const;
  // Two records compare as their structures; without this overload C++20 finds
  // the member above in both argument orders and calls the comparison ambiguous.
  bool operator==(const CMediaTypeRecord& other) const {
    return *this == static_cast<const AM_MEDIA_TYPE&>(other);
  }

  // Back to the defaults without freeing what the fields held.
  void ResetMediaType();

  void AssignSubtype(const GUID* subtype);
  void AssignFormatType(const GUID* formatType);
  // 0 makes the samples variable-sized and keeps the old size value.
  void AssignSampleSize(ULONG size);
  void MakeVariableSize();

  // A block of the given length with undefined contents, or null. When a new
  // block cannot be allocated, a larger existing block is returned and keeps
  // its length.
  BYTE* ReserveFormatBlock(ULONG length);
  BOOL AssignFormat(const BYTE* data, ULONG length);

  BOOL IsPattern() const;
  // GUID_NULL fields of the pattern match anything.
  BOOL MatchesPattern(const AM_MEDIA_TYPE* pattern) const;
};

// Sets every field to its default (GUID_NULL types, fixed samples of size 1,
// no format block, no pUnk); frees nothing.
void ResetMediaType(AM_MEDIA_TYPE& mediaType);

// Frees the format block and releases pUnk; the other fields stay.
void ReleaseMediaTypeContents(AM_MEDIA_TYPE& mediaType);

// Deep copy over whatever target held (nothing is released). A format block
// that cannot be allocated leaves the copy with cbFormat 0.
void CopyMediaTypeContents(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source);

// A deep copy in task memory, owned by the caller, or null.
AM_MEDIA_TYPE* NewMediaTypeCopy(const AM_MEDIA_TYPE* source);
void DeleteMediaTypeCopy(AM_MEDIA_TYPE* mediaType);

// The subtype GUID of a four-character code ('c' of "cvid" in the lowest
// byte), on the template {00000000-0000-0010-8000-00AA00389B71}.
GUID SubtypeFromFourCC(DWORD code);
