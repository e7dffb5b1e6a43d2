// Which threads may use the COM runtime.
#pragma once

namespace platform::com {

// True when the calling thread initialised COM, or when some thread of the
// process is in the multithreaded apartment, which the platform lets every
// uninitialised thread join implicitly.
bool CallerMayUseCom();

}  // namespace platform::com
