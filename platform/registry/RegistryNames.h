// Rules for key and value names shared by the live tree and the .reg text:
// names compare without regard to ASCII case, as the platform's do, and must
// survive a round trip through a line-based text file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace platform::registry {

constexpr size_t kMaxKeyNameLength = 255;
constexpr size_t kMaxValueNameLength = 16383;
// The platform's nesting limit; it also bounds the recursion of tearing a tree down.
constexpr size_t kMaxKeyDepth = 512;
constexpr std::string_view kRootName = "HKEY_CLASSES_ROOT";

// Upper-case folding, so that names sort the way the platform enumerates them
// ("A_B" before "AB" is decided on '_' against 'B', not 'b').
inline unsigned char FoldName(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 'a' && u <= 'z') ? static_cast<unsigned char>(u - 'a' + 'A') : u;
}

inline int CompareNames(std::string_view a, std::string_view b) {
  size_t common = a.size() < b.size() ? a.size() : b.size();
  for (size_t i = 0; i < common; ++i) {
    unsigned char x = FoldName(a[i]);
    unsigned char y = FoldName(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

inline bool NamesEqual(std::string_view a, std::string_view b) { return CompareNames(a, b) == 0; }

struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return CompareNames(a, b) < 0; }
};

// Line breaks and zero bytes cannot be written in a .reg line.
inline bool HasUnwritableCharacter(std::string_view name) {
  return name.find_first_of(std::string_view("\0\n\r", 3)) != std::string_view::npos;
}

inline bool IsValidKeyName(std::string_view name) {
  return !name.empty() && name.size() <= kMaxKeyNameLength &&
         name.find('\\') == std::string_view::npos && !HasUnwritableCharacter(name);
}

inline bool IsValidValueName(std::string_view name) {
  return name.size() <= kMaxValueNameLength && !HasUnwritableCharacter(name);
}

enum class PathStatus { Ok, BadPath, BadName };

// Splits "a\b\c" into its names; one trailing backslash is tolerated, an
// empty path gives no names.
inline PathStatus SplitKeyPath(std::string_view path, std::vector<std::string>& names) {
  names.clear();
  if (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  if (path.empty()) return PathStatus::Ok;
  size_t start = 0;
  while (true) {
    size_t end = path.find('\\', start);
    std::string_view name =
        path.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (name.empty()) return PathStatus::BadPath;
    if (!IsValidKeyName(name)) return PathStatus::BadName;
    if (names.size() == kMaxKeyDepth) return PathStatus::BadPath;
    names.emplace_back(name);
    if (end == std::string_view::npos) return PathStatus::Ok;
    start = end + 1;
  }
}

}  // namespace platform::registry
