#pragma once

#include "Platform.h"

// The platform's standard memory allocator, for pins that must supply one.
HRESULT CreateSystemAllocator(IMemAllocator** allocator);
