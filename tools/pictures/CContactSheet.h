// Pictures of one size laid out in a grid on a dark ground, row by row.
#pragma once

#include <cstdint>
#include <vector>

#include "pictures/RgbPicture.h"

namespace tessaly::pictures {

class CContactSheet {
 public:
  static constexpr uint32_t kGap = 4;  // pixels around and between pictures

  // count pictures of width × height; columns chosen to make the sheet
  // about square.
  CContactSheet(uint32_t count, uint32_t width, uint32_t height);

  // Puts picture number index in its place (pictures of another size are ignored).
  void Place(uint32_t index, const RgbPicture& picture);
  const RgbPicture& Sheet() const { return m_sheet; }

 private:
  uint32_t m_columns;
  uint32_t m_width;
  uint32_t m_height;
  RgbPicture m_sheet;
};

}  // namespace tessaly::pictures
