// One check-byte value of the registry's file-type table: groups of
// "offset,length,mask,bytes", all of which must match the file's bytes.
#pragma once

#include <string_view>
#include <vector>

#include <win/platform.h>

namespace platform {

// The bytes a pattern is tested against, read at explicit positions.
class CheckByteSource {
 public:
  virtual ~CheckByteSource() = default;
  virtual LONGLONG Size() const = 0;
  // S_OK when all length bytes arrived, S_FALSE when the end came first.
  virtual HRESULT Read(LONGLONG position, ULONG length, BYTE* buffer) const = 0;
};

class CCheckBytes {
 public:
  // No group may ask for more bytes than this: a hostile registry value must
  // not make the graph allocate without bound.
  static constexpr ULONG kLongestGroup = 4096;

  // E_INVALIDARG for anything but well-formed groups; *out is then empty.
  static HRESULT Parse(std::string_view text, CCheckBytes* out);

  // S_OK when every group matches, S_FALSE when one does not (or lies outside
  // the file), or the failure of a read.
  HRESULT Match(const CheckByteSource& file) const;

 private:
  struct Group {
    LONGLONG offset;  // negative: counted back from the end of the file
    ULONG length;
    std::vector<BYTE> mask;
    std::vector<BYTE> bytes;
  };

  static bool ParseGroup(const std::string_view* fields, Group* group);
  HRESULT MatchGroup(const Group& group, const CheckByteSource& file,
                     std::vector<BYTE>* buffer) const;

  std::vector<Group> m_groups;
};

}  // namespace platform
