// An owned copy of an AM_MEDIA_TYPE with its format block, as the sink keeps
// the type of its connection.
#pragma once

#include <win/platform.h>

#include <optional>
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

  // The format block read as the type's format type says, whatever the major
  // type; empty when it is another format or too short. Every command reads
  // pin formats through these. PCM may come with the 16-byte form that lacks
  // cbSize, which then reads as 0.
  std::optional<WAVEFORMATEX> WaveFormat() const;
  std::optional<VIDEOINFOHEADER> VideoInfo() const;

 private:
  AM_MEDIA_TYPE m_type{};  // pbFormat null, pUnk null: the format lives in m_format
  std::vector<BYTE> m_format;
};

}  // namespace tessaly::sinks
