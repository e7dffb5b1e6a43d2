// The "Media Type" entry by which the platform recognises a FILM file from
// its first bytes and reads it with the asynchronous file source.
#pragma once

#include "Platform.h"

HRESULT WriteMediaTypeEntry();

// Removes only the FILM subtype key; the byte-stream key above it is shared.
// S_OK also when the entry is not there.
HRESULT RemoveMediaTypeEntry();
