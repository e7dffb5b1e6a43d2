// The one media type each output pin of the FILM splitter offers.
#pragma once

#include "Platform.h"
#include "com/CMediaTypeRecord.h"

// Uncompressed PCM described by the file's wave format; samples vary in size
// up to one staging buffer. E_OUTOFMEMORY when the format block cannot be
// allocated (the record is then unusable).
HRESULT BuildAudioMediaType(const WAVEFORMATEX& waveFormat, CMediaTypeRecord* type);

// Frames of the codec the video header names ('cvid' for FILM), described by
// the file's video header.
HRESULT BuildVideoMediaType(const VIDEOINFOHEADER& videoInfo, CMediaTypeRecord* type);
