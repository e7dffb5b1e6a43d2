// What the Cinepak decoder filter must have made of the splitter's frames
// when the graph fuzzer's video goes through it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/RecordingSinkFilter.h"

namespace fuzzcheck {

// Empty when every picture holds exactly the negotiated type's image bytes.
std::string CheckPictureSizes(const std::vector<ReceivedSample>& pictures, size_t imageBytes);

// frames: what the splitter delivers of the same file straight to a sink.
// Each frame not marked preroll becomes one picture with its times, in
// order, and a frame the decoder library cannot wholly decode (over the
// codebooks and picture of the frames before it, from black) gives a
// picture marked as a discontinuity. Empty when that holds.
std::string CheckPicturesOfFrames(const std::vector<ReceivedSample>& frames,
                                  const std::vector<ReceivedSample>& pictures, uint32_t width,
                                  uint32_t height);

}  // namespace fuzzcheck
