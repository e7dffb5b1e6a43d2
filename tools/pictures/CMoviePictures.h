// The pictures of a movie's 'cvid' stream, frame after frame: each frame is
// decoded over the one before it with the codebooks the stream carries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "cinepak/CCodebooks.h"
#include "cinepak/CFrameDecoder.h"
#include "pictures/RgbPicture.h"

namespace tessaly::pictures {

class CMoviePictures {
 public:
  // The movie's picture size (multiples of 4 or not).
  CMoviePictures(uint32_t width, uint32_t height);

  // A frame that does not decode wholly leaves what it did decode.
  cinepak::DecodeStatus Decode(const uint8_t* frame, size_t size);
  // The current picture.
  RgbPicture Picture() const;

 private:
  cinepak::CCodebooks m_codebooks;
  std::vector<uint8_t> m_bgr;  // rows top first, no padding
  cinepak::PictureView m_view;
};

}  // namespace tessaly::pictures
