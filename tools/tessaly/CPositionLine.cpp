#include "tessaly/CPositionLine.h"

#include <cstdio>

namespace tessaly::cli {

void CPositionLine::Start(double duration, bool enabled) {
  std::lock_guard<std::mutex> guard(m_lock);
  m_duration = duration;
  m_enabled = enabled;
}

void CPositionLine::Update(double position) {
  std::lock_guard<std::mutex> guard(m_lock);
  if (!m_enabled) return;
  const int tenths = static_cast<int>(position * 10);
  if (tenths <= m_lastTenths) return;
  m_lastTenths = tenths;
  if (m_duration > 0) {
    std::fprintf(stderr, "\rplaying %.1f s / %.1f s", position, m_duration);
  } else {
    std::fprintf(stderr, "\rplaying %.1f s", position);
  }
  std::fflush(stderr);
  m_drawn = true;
}

void CPositionLine::Finish() {
  std::lock_guard<std::mutex> guard(m_lock);
  if (m_enabled && m_drawn) {
    std::fputc('\n', stderr);
    std::fflush(stderr);
  }
  m_enabled = false;
}

}  // namespace tessaly::cli
