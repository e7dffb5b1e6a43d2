#include "pictures/CContactSheet.h"

#include <cmath>
#include <cstring>

namespace tessaly::pictures {

namespace {

constexpr uint8_t kGround = 24;

}  // namespace

CContactSheet::CContactSheet(uint32_t count, uint32_t width, uint32_t height)
    : m_columns(static_cast<uint32_t>(std::ceil(std::sqrt(static_cast<double>(count))))),
      m_width(width),
      m_height(height) {
  if (m_columns == 0) m_columns = 1;
  const uint32_t rows = (count + m_columns - 1) / m_columns;
  m_sheet = RgbPicture(m_columns * (width + kGap) + kGap, rows * (height + kGap) + kGap);
  std::memset(m_sheet.rgb.data(), kGround, m_sheet.rgb.size());
}

void CContactSheet::Place(uint32_t index, const RgbPicture& picture) {
  if (picture.width != m_width || picture.height != m_height) return;
  const uint32_t left = kGap + (index % m_columns) * (m_width + kGap);
  const uint32_t top = kGap + (index / m_columns) * (m_height + kGap);
  if (top + m_height > m_sheet.height) return;
  for (uint32_t y = 0; y < m_height; ++y) {
    std::memcpy(&m_sheet.rgb[(size_t(top + y) * m_sheet.width + left) * 3],
                &picture.rgb[size_t(y) * m_width * 3], size_t(m_width) * 3);
  }
}

}  // namespace tessaly::pictures
