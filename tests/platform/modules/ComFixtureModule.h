// Shared by the COM fixture module and the tests that load it.
#pragma once

#include <win/platform.h>

#include <atomic>

// The one class the fixture serves.
PLATFORM_GUID(CLSID_ComFixtureObject, 0xC3A1F5E0, 0x7B2D, 0x4C19, 0x9E, 0x84, 0x1D, 0x6A, 0x2B,
              0x3C, 0x4F, 0x50);
// A class a test may register with the fixture as its server, which the fixture refuses.
PLATFORM_GUID(CLSID_ComFixtureUnserved, 0xC3A1F5E1, 0x7B2D, 0x4C19, 0x9E, 0x84, 0x1D, 0x6A, 0x2B,
              0x3C, 0x4F, 0x50);

// The fixture reports its life into memory the test owns, because the
// module's own globals are gone once it is unloaded. The test publishes the
// probe's address (hexadecimal) in this environment variable before loading.
struct ComFixtureProbe {
  std::atomic<int> attaches{0};
  std::atomic<int> detaches{0};
  std::atomic<int> liveObjects{0};  // objects and class factories
};

inline constexpr char kComFixtureProbeVariable[] = "TESSALY_COM_FIXTURE_PROBE";
