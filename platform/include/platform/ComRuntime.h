// Test hooks: what the COM runtime holds on behalf of the process.
#pragma once

#include <cstddef>

#include <win/com.h>

namespace platform {

// In-process servers the runtime has loaded and not yet unloaded.
__attribute__((visibility("default"))) size_t LoadedServerCount();

// Whether the runtime holds a reference to a server loaded from this exact path.
__attribute__((visibility("default"))) bool IsServerLoaded(const char* path);

}  // namespace platform
