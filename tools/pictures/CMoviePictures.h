// The pictures of a movie's 'cvid' stream, frame after frame: each frame is
// decoded over the one before it with the codebooks the stream carries,
// straight into the layout image files and the VP9 encoder take.
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
  // The decoder's view points into this object's own picture.
  CMoviePictures(const CMoviePictures&) = delete;
  CMoviePictures& operator=(const CMoviePictures&) = delete;

  // A frame that does not decode wholly leaves what it did decode.
  cinepak::DecodeStatus Decode(const uint8_t* frame, size_t size);
  // The current picture, until the next Decode.
  const RgbPicture& Picture() const { return m_picture; }

 private:
  cinepak::CCodebooks m_codebooks;
  RgbPicture m_picture;  // the decoder's output: rows top first, no padding
  cinepak::PictureView m_view;
};

}  // namespace tessaly::pictures
