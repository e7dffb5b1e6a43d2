// Deep copies of media types in task memory, as the platform hands them across
// interfaces: the receiver owns the block, the format block and a reference on pUnk.
#pragma once

#include <win/platform.h>

namespace platform {

// Fills target with a copy of source; on failure target is left empty.
HRESULT CopyMediaTypeFields(AM_MEDIA_TYPE* target, const AM_MEDIA_TYPE& source);

// Frees the format block and drops pUnk; the record itself stays.
void ClearMediaTypeFields(AM_MEDIA_TYPE* type);

// A new task-memory record holding a copy of source; E_OUTOFMEMORY or the copy's error.
HRESULT DuplicateMediaType(const AM_MEDIA_TYPE& source, AM_MEDIA_TYPE** out);

// Frees a record made by DuplicateMediaType; null is ignored.
void FreeMediaType(AM_MEDIA_TYPE* type);

}  // namespace platform
