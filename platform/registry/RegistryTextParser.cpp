// Reads REGEDIT4 text into a document. Kept apart from the live tree so that
// it can be fuzzed: it only ever looks at the text it is given.
#include <platform/Registry.h>
#include <win/registry.h>

#include <map>

#include "RegistryNames.h"

namespace platform {
namespace {

using registry::kRootName;

std::string_view TrimLeft(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  return s;
}

std::string_view TrimRight(std::string_view s) {
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

std::string_view Trim(std::string_view s) { return TrimRight(TrimLeft(s)); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Parses 1 to maxDigits hexadecimal digits making up the whole of text.
bool ParseHexNumber(std::string_view text, size_t maxDigits, uint32_t& value) {
  if (text.empty() || text.size() > maxDigits) return false;
  value = 0;
  for (char c : text) {
    int digit = HexDigit(c);
    if (digit < 0) return false;
    value = (value << 4) | static_cast<uint32_t>(digit);
  }
  return true;
}

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() &&
         registry::NamesEqual(text.substr(0, prefix.size()), prefix);
}

// Quotes a piece of the input for an error message, without flooding it.
std::string Excerpt(std::string_view text) {
  constexpr size_t kMax = 60;
  std::string shown(text.substr(0, kMax));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20) c = '?';
  }
  if (text.size() > kMax) shown += "...";
  return shown;
}

class RegistryTextParser {
 public:
  explicit RegistryTextParser(std::string_view text) { SplitLines(text); }

  bool Parse(RegistryDocument& out, std::string& error) {
    RegistryDocument document;
    if (!ParseAll(document)) {
      error = m_error;
      return false;
    }
    out = std::move(document);
    return true;
  }

 private:
  void SplitLines(std::string_view text) {
    while (!text.empty()) {
      size_t end = text.find('\n');
      std::string_view line = text.substr(0, end);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      m_lines.push_back(line);
      if (end == std::string_view::npos) break;
      text.remove_prefix(end + 1);
    }
  }

  bool Fail(const std::string& problem) {
    m_error = "line " + std::to_string(m_lineIndex + 1) + ": " + problem + ": " +
              Excerpt(m_lines[m_lineIndex]);
    return false;
  }

  bool ParseAll(RegistryDocument& document) {
    if (m_lines.empty()) return true;
    m_lineIndex = 0;
    std::string_view header = TrimRight(m_lines[0]);
    if (header != "REGEDIT4") {
      return Fail("unknown header, expected \"REGEDIT4\"");
    }
    RegistryKeyEntry* section = nullptr;  // borrowed from document
    for (m_lineIndex = 1; m_lineIndex < m_lines.size(); ++m_lineIndex) {
      std::string_view line = Trim(m_lines[m_lineIndex]);
      if (line.empty() || line.front() == ';') continue;
      if (line.front() == '[') {
        RegistryKeyEntry entry;
        if (!ParseSection(line, entry.path)) return false;
        document.keys.push_back(std::move(entry));
        section = &document.keys.back();
        m_valueIndex.clear();
        continue;
      }
      if (section == nullptr) return Fail("value before any key section");
      RegistryValue value;
      if (!ParseValue(line, value)) return false;
      StoreValue(*section, std::move(value));
    }
    return true;
  }

  // A later line for the same name wins, as when the platform imports it.
  void StoreValue(RegistryKeyEntry& section, RegistryValue value) {
    auto [at, added] = m_valueIndex.emplace(value.name, section.values.size());
    if (added) {
      section.values.push_back(std::move(value));
      return;
    }
    RegistryValue& existing = section.values[at->second];
    existing.type = value.type;
    existing.data = std::move(value.data);
  }

  bool ParseSection(std::string_view line, std::string& path) {
    size_t close = line.rfind(']');
    if (close == std::string_view::npos) return Fail("unterminated key section");
    if (!Trim(line.substr(close + 1)).empty()) {
      return Fail("unexpected text after key section");
    }
    std::string_view name = line.substr(1, close - 1);
    if (!name.empty() && name.front() == '-') {
      return Fail("key deletion entries are not supported");
    }
    std::string_view root = name.substr(0, name.find('\\'));
    if (!registry::NamesEqual(root, kRootName)) {
      return Fail("key section outside HKEY_CLASSES_ROOT");
    }
    std::string_view rest = name.substr(root.size());
    if (rest.empty()) {
      path.clear();
      return true;
    }
    rest.remove_prefix(1);
    std::vector<std::string> names;
    if (rest.empty() || rest.back() == '\\' ||
        registry::SplitKeyPath(rest, names) != registry::PathStatus::Ok) {
      return Fail("bad key path");
    }
    path = rest;
    return true;
  }

  // Reads a quoted string starting at text[0] == '"'; consumed gets the
  // length read, quotes included.
  bool ParseQuoted(std::string_view text, std::string& result, size_t& consumed) {
    result.clear();
    for (size_t i = 1; i < text.size(); ++i) {
      char c = text[i];
      if (c == '"') {
        consumed = i + 1;
        return true;
      }
      if (c != '\\') {
        result += c;
        continue;
      }
      if (i + 1 >= text.size()) break;
      char escaped = text[++i];
      if (escaped != '\\' && escaped != '"') {
        return Fail(std::string("bad escape \"\\") + escaped + "\"");
      }
      result += escaped;
    }
    return Fail("unterminated string");
  }

  bool ParseValue(std::string_view line, RegistryValue& value) {
    std::string_view rest;
    if (line.front() == '@') {
      value.name.clear();
      rest = line.substr(1);
    } else if (line.front() == '"') {
      size_t consumed = 0;
      if (!ParseQuoted(line, value.name, consumed)) return false;
      if (!registry::IsValidValueName(value.name)) return Fail("bad value name");
      rest = line.substr(consumed);
    } else {
      return Fail("expected a value name or a key section");
    }
    rest = TrimLeft(rest);
    if (rest.empty() || rest.front() != '=') return Fail("expected '=' after the value name");
    rest = TrimLeft(rest.substr(1));
    return ParseData(line, rest, value);
  }

  bool ParseData(std::string_view line, std::string_view rest, RegistryValue& value) {
    if (!rest.empty() && rest.front() == '"') {
      std::string text;
      size_t consumed = 0;
      if (!ParseQuoted(rest, text, consumed)) return false;
      if (!Trim(rest.substr(consumed)).empty()) {
        return Fail("unexpected text after string");
      }
      value.type = REG_SZ;
      value.data.assign(text.begin(), text.end());
      value.data.push_back(0);
      return true;
    }
    if (StartsWithNoCase(rest, "dword:")) {
      uint32_t number = 0;
      if (!ParseHexNumber(TrimRight(rest.substr(6)), 8, number)) {
        return Fail("bad dword");
      }
      value.type = REG_DWORD;
      value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                    static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
      return true;
    }
    if (StartsWithNoCase(rest, "hex:")) {
      value.type = REG_BINARY;
      return ParseHexBytes(rest.substr(4), value.data);
    }
    if (StartsWithNoCase(rest, "hex(")) {
      size_t close = rest.find("):");
      if (close == std::string_view::npos ||
          !ParseHexNumber(rest.substr(4, close - 4), 8, value.type)) {
        return Fail("bad value type");
      }
      return ParseHexBytes(rest.substr(close + 2), value.data);
    }
    if (!rest.empty() && rest.front() == '-') {
      return Fail("value deletion entries are not supported");
    }
    return Fail("unknown value data");
  }

  // Byte lists may continue over several lines, each but the last ending in a
  // backslash.
  bool ParseHexBytes(std::string_view first, std::vector<uint8_t>& bytes) {
    std::string joined;
    std::string_view piece = Trim(first);
    while (!piece.empty() && piece.back() == '\\') {
      joined.append(piece.substr(0, piece.size() - 1));
      if (m_lineIndex + 1 >= m_lines.size())
        return Fail("hex data continues past the end of the text");
      ++m_lineIndex;
      piece = Trim(m_lines[m_lineIndex]);
    }
    joined.append(piece);
    bytes.clear();
    std::string_view list = joined;
    if (Trim(list).empty()) return true;
    while (true) {
      size_t comma = list.find(',');
      uint32_t byte = 0;
      if (!ParseHexNumber(Trim(list.substr(0, comma)), 2, byte)) {
        return Fail("bad hex byte list");
      }
      bytes.push_back(static_cast<uint8_t>(byte));
      if (comma == std::string_view::npos) return true;
      list.remove_prefix(comma + 1);
    }
  }

  std::vector<std::string_view> m_lines;  // borrowed from the text being parsed
  size_t m_lineIndex = 0;
  std::string m_error;
  std::map<std::string, size_t, registry::NameLess> m_valueIndex;  // of the current section
};

}  // namespace

bool ParseRegistryText(std::string_view text, RegistryDocument& out, std::string& error) {
  try {
    RegistryTextParser parser(text);
    return parser.Parse(out, error);
  } catch (const std::bad_alloc&) {
    error = "out of memory while reading registry text";
    return false;
  }
}

}  // namespace platform
