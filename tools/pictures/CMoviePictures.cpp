#include "pictures/CMoviePictures.h"

namespace tessaly::pictures {

CMoviePictures::CMoviePictures(uint32_t width, uint32_t height) : m_picture(width, height) {
  m_view.pixels = m_picture.rgb.data();
  m_view.width = width;
  m_view.height = height;
  m_view.stride = size_t(width) * 3;
  m_view.layout = cinepak::PixelLayout::Rgb24;
}

cinepak::DecodeStatus CMoviePictures::Decode(const uint8_t* frame, size_t size) {
  return cinepak::DecodeFrame(frame, size, m_codebooks, m_view);
}

}  // namespace tessaly::pictures
