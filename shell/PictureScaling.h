// Shrinks a picture for Explorer: its longest side to the size asked, its
// aspect kept, never enlarged. Each target pixel is the mean of the source
// pixels its box covers, so a shrunk movie frame keeps its detail's average
// instead of the aliasing a nearest pick gives.
#pragma once

#include <cstdint>

#include "shell/ThumbnailFrame.h"

namespace tessaly::shell {

struct ScaledSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

// The size a width × height picture takes for a thumbnail of size pixels;
// each side at least 1.
ScaledSize ThumbnailSize(uint32_t width, uint32_t height, uint32_t size);

// source scaled to size (a ThumbnailSize of it) into target, which it
// replaces; false when memory runs out.
bool ScalePicture(const Picture& source, ScaledSize size, Picture* target);

}  // namespace tessaly::shell
