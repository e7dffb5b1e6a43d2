#include "com/CMediaTypeRecord.h"

#include <cstring>

namespace {

// A peer may hand over a type whose cbFormat claims a block that is not
// there; such a block compares equal only to another missing one.
bool FormatBlocksEqual(const AM_MEDIA_TYPE& a, const AM_MEDIA_TYPE& b) {
  if (a.cbFormat != b.cbFormat) {
    return false;
  }
  if (a.cbFormat == 0) {
    return true;
  }
  if (a.pbFormat == nullptr || b.pbFormat == nullptr) {
    return a.pbFormat == b.pbFormat;
  }
  return std::memcmp(a.pbFormat, b.pbFormat, a.cbFormat) == 0;
}

bool IsNullGuid(const GUID& guid) { return IsEqualGUID(guid, GUID_NULL) != 0; }

}  // namespace

void ResetMediaType(AM_MEDIA_TYPE& mediaType) {
  std::memset(&mediaType, 0, sizeof(mediaType));
  mediaType.bFixedSizeSamples = TRUE;
  mediaType.lSampleSize = 1;
}

void ReleaseMediaTypeContents(AM_MEDIA_TYPE& mediaType) {
  if (mediaType.cbFormat != 0) {
    CoTaskMemFree(mediaType.pbFormat);
    mediaType.cbFormat = 0;
    mediaType.pbFormat = nullptr;
  }
  if (mediaType.pUnk != nullptr) {
    IUnknown* object = mediaType.pUnk;
    mediaType.pUnk = nullptr;
    object->Release();
  }
}

void CopyMediaTypeContents(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE* source) {
  // Copying a block onto itself would replace its format block with an
  // uninitialised one and lose the original.
  if (target == nullptr || source == nullptr || target == source) {
    return;
  }
  *target = *source;
  if (source->cbFormat != 0) {
    target->pbFormat = nullptr;
    if (source->pbFormat != nullptr) {
      target->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(source->cbFormat));
    }
    if (target->pbFormat == nullptr) {
      target->cbFormat = 0;
    } else {
      std::memcpy(target->pbFormat, source->pbFormat, source->cbFormat);
    }
  }
  if (target->pUnk != nullptr) {
    target->pUnk->AddRef();
  }
}

AM_MEDIA_TYPE* NewMediaTypeCopy(const AM_MEDIA_TYPE* source) {
  if (source == nullptr) {
    return nullptr;
  }
  AM_MEDIA_TYPE* copy = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (copy == nullptr) {
    return nullptr;
  }
  CopyMediaTypeContents(copy, source);
  return copy;
}

void DeleteMediaTypeCopy(AM_MEDIA_TYPE* mediaType) {
  if (mediaType == nullptr) {
    return;
  }
  ReleaseMediaTypeContents(*mediaType);
  CoTaskMemFree(mediaType);
}

GUID SubtypeFromFourCC(DWORD code) {
  GUID subtype = {0x00000000, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
  subtype.Data1 = code;
  return subtype;
}

CMediaTypeRecord::CMediaTypeRecord() { ::ResetMediaType(*this); }

CMediaTypeRecord::CMediaTypeRecord(const GUID* majorType) {
  ::ResetMediaType(*this);
  if (majorType != nullptr) {
    majortype = *majorType;
  }
}

CMediaTypeRecord::CMediaTypeRecord(const CMediaTypeRecord& source) {
  CopyMediaTypeContents(this, &source);
}

CMediaTypeRecord::CMediaTypeRecord(const AM_MEDIA_TYPE& source) {
  CopyMediaTypeContents(this, &source);
}

CMediaTypeRecord::~CMediaTypeRecord() { ReleaseMediaTypeContents(*this); }

CMediaTypeRecord& CMediaTypeRecord::operator=(const CMediaTypeRecord& source) {
  return *this = static_cast<const AM_MEDIA_TYPE&>(source);
}

CMediaTypeRecord& CMediaTypeRecord::operator=(const AM_MEDIA_TYPE& source) {
  if (&source == this) {
    return *this;
  }
  // Copy before releasing: the source may share this record's pUnk (its
  // last reference could go with the release) or be a bare view of its
  // format block.
  AM_MEDIA_TYPE copy;
  CopyMediaTypeContents(&copy, &source);
  ReleaseMediaTypeContents(*this);
  *static_cast<AM_MEDIA_TYPE*>(this) = copy;
  return *this;
}

bool CMediaTypeRecord::operator==(const AM_MEDIA_TYPE& other) const {
  return IsEqualGUID(majortype, other.majortype) && IsEqualGUID(subtype, other.subtype) &&
         IsEqualGUID(formattype, other.formattype) && FormatBlocksEqual(*this, other);
}

void CMediaTypeRecord::ResetMediaType() { ::ResetMediaType(*this); }

void CMediaTypeRecord::AssignSubtype(const GUID* newSubtype) {
  if (newSubtype != nullptr) {
    subtype = *newSubtype;
  }
}

void CMediaTypeRecord::AssignFormatType(const GUID* formatType) {
  if (formatType != nullptr) {
    formattype = *formatType;
  }
}

void CMediaTypeRecord::AssignSampleSize(ULONG size) {
  if (size == 0) {
    MakeVariableSize();
    return;
  }
  bFixedSizeSamples = TRUE;
  lSampleSize = size;
}

void CMediaTypeRecord::MakeVariableSize() { bFixedSizeSamples = FALSE; }

BYTE* CMediaTypeRecord::ReserveFormatBlock(ULONG length) {
  if (length == cbFormat) {
    return pbFormat;
  }
  // A zero-length block would be owned by nobody (the record owns a block
  // only while cbFormat is not 0): drop the old one and offer none.
  if (length == 0) {
    CoTaskMemFree(pbFormat);
    cbFormat = 0;
    pbFormat = nullptr;
    return nullptr;
  }
  BYTE* block = static_cast<BYTE*>(CoTaskMemAlloc(length));
  if (block == nullptr) {
    return length > cbFormat ? nullptr : pbFormat;
  }
  if (cbFormat != 0) {
    CoTaskMemFree(pbFormat);
  }
  cbFormat = length;
  pbFormat = block;
  return block;
}

BOOL CMediaTypeRecord::AssignFormat(const BYTE* data, ULONG length) {
  if (data == nullptr && length != 0) {
    return FALSE;
  }
  BYTE* block = ReserveFormatBlock(length);
  if (block == nullptr) {
    return FALSE;
  }
  if (block != data) {
    std::memcpy(block, data, length);
  }
  return TRUE;
}

BOOL CMediaTypeRecord::IsPattern() const {
  return IsNullGuid(majortype) || IsNullGuid(formattype) ? TRUE : FALSE;
}

BOOL CMediaTypeRecord::MatchesPattern(const AM_MEDIA_TYPE* pattern) const {
  if (pattern == nullptr) {
    return FALSE;
  }
  if (!IsNullGuid(pattern->majortype) && !IsEqualGUID(pattern->majortype, majortype)) {
    return FALSE;
  }
  if (!IsNullGuid(pattern->subtype) && !IsEqualGUID(pattern->subtype, subtype)) {
    return FALSE;
  }
  if (IsNullGuid(pattern->formattype)) {
    return TRUE;
  }
  if (!IsEqualGUID(pattern->formattype, formattype)) {
    return FALSE;
  }
  return FormatBlocksEqual(*this, *pattern) ? TRUE : FALSE;
}
