#include "pictures/CMoviePictures.h"

namespace tessaly::pictures {

CMoviePictures::CMoviePictures(uint32_t width, uint32_t height)
    : m_bgr(size_t(width) * height * 3, 0) {
  m_view.pixels = m_bgr.data();
  m_view.width = width;
  m_view.height = height;
  m_view.stride = size_t(width) * 3;
  m_view.layout = cinepak::PixelLayout::Bgr24;
}

cinepak::DecodeStatus CMoviePictures::Decode(const uint8_t* frame, size_t size) {
  return cinepak::DecodeFrame(frame, size, m_codebooks, m_view);
}

RgbPicture CMoviePictures::Picture() const {
  RgbPicture picture(m_view.width, m_view.height);
  for (size_t i = 0; i < m_bgr.size(); i += 3) {
    picture.rgb[i] = m_bgr[i + 2];
    picture.rgb[i + 1] = m_bgr[i + 1];
    picture.rgb[i + 2] = m_bgr[i];
  }
  return picture;
}

}  // namespace tessaly::pictures
