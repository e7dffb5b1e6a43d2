#include "cinepak/CCodebooks.h"

#include <cstring>
#include <new>

namespace tessaly::cinepak {

// No exception leaves the library: a filter module builds it too.
CCodebooks::CCodebooks() : m_strips(new (std::nothrow) StripCodebooks[kMaxStrips]) { Reset(); }

void CCodebooks::Reset() {
  if (!m_strips) return;
  std::memset(m_strips.get(), 0, sizeof(StripCodebooks) * kMaxStrips);
}

}  // namespace tessaly::cinepak
