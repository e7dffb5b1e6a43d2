// An owned copy of an AM_MEDIA_TYPE with its format block, as the sink keeps
// the type of its connection.
#pragma once

#include <win/platform.h>

#include <vector>

namespace tessaly::sinks {

class CSinkMediaType {
 public:
  CSinkMediaType() = default;
  explicit CSinkMediaType(const AM_MEDIA_TYPE& type);

  // A type a sink can take: its major type and format type are named.
  static bool IsComplete(const AM_MEDIA_TYPE& type);

  // Fills *out with a copy whose format block is task memory (the caller's);
  // E_OUTOFMEMORY when that block cannot be allocated.
  HRESULT CopyTo(AM_MEDIA_TYPE* out) const;

  const AM_MEDIA_TYPE& Type() const { return m_type; }
  const std::vector<BYTE>& Format() const { return m_format; }

 private:
  AM_MEDIA_TYPE m_type{};  // pbFormat null, pUnk null: the format lives in m_format
  std::vector<BYTE> m_format;
};

}  // namespace tessaly::sinks
