// Test hook: hide a feature the processor has, so that code that chooses
// its loops by IsProcessorFeaturePresent runs its fallback on any host.
#pragma once

#include <win/types.h>

namespace platform {

// From now on IsProcessorFeaturePresent answers FALSE for feature (a PF_
// number) while hidden is true; false shows the processor's own answer again.
__attribute__((visibility("default"))) void HideProcessorFeature(DWORD feature, bool hidden);

}  // namespace platform
