#pragma once

#include "Platform.h"

// Helpers for the 16-bit strings that name pins and filters. A null source
// reads as the empty string.

// Copies source with its terminator; returns target.
WCHAR* WideCopy(WCHAR* target, const WCHAR* source);

// Copies at most capacity - 1 characters and always terminates (nothing is
// written when capacity is 0); returns target.
WCHAR* WideCopyBounded(WCHAR* target, const WCHAR* source, int capacity);

// The difference of the first differing code units (compared as unsigned
// 16-bit values), 0 when the strings are equal.
int WideCompare(const WCHAR* a, const WCHAR* b);

// Length in characters, terminator excluded.
int WideLength(const WCHAR* text);

// A copy in task memory ((length + 1) * 2 bytes) that the caller frees with
// CoTaskMemFree. E_POINTER for a null out pointer, E_OUTOFMEMORY when the
// block cannot be allocated (*copy is then null).
HRESULT WideDuplicate(const WCHAR* source, WCHAR** copy);
