#include "cinepak/CCodebooks.h"

#include <cstring>

namespace tessaly::cinepak {

CCodebooks::CCodebooks() : m_strips(new StripCodebooks[kMaxStrips]) { Reset(); }

void CCodebooks::Reset() { std::memset(m_strips.get(), 0, sizeof(StripCodebooks) * kMaxStrips); }

}  // namespace tessaly::cinepak
