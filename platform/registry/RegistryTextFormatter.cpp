// Writes a document as REGEDIT4 text that ParseRegistryText reads back to the
// same bytes.
#include <platform/Registry.h>
#include <win/registry.h>

#include <cstdio>

#include "RegistryNames.h"

namespace platform {
namespace {

// The platform's editor wraps byte lists before column 80.
constexpr size_t kHexLineLimit = 77;

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  out += '"';
}

// A REG_SZ goes out as quoted text only if reading it back (which appends one
// zero) gives the same bytes.
bool IsQuotableString(const RegistryValue& value) {
  if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) return false;
  for (size_t i = 0; i + 1 < value.data.size(); ++i) {
    uint8_t c = value.data[i];
    if (c == 0 || c == '\n' || c == '\r') return false;
  }
  return true;
}

void AppendHexBytes(std::string& out, std::string line, const std::vector<uint8_t>& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::string piece{kDigits[bytes[i] >> 4], kDigits[bytes[i] & 15]};
    if (i + 1 < bytes.size()) piece += ',';
    if (line.size() + piece.size() > kHexLineLimit) {
      out += line;
      out += "\\\n";
      line = "  ";
    }
    line += piece;
  }
  out += line;
}

void AppendValue(std::string& out, const RegistryValue& value) {
  std::string line;
  if (value.name.empty()) {
    line = "@";
  } else {
    AppendQuoted(line, value.name);
  }
  line += '=';
  if (IsQuotableString(value)) {
    const char* text = reinterpret_cast<const char*>(value.data.data());
    AppendQuoted(line, std::string_view(text, value.data.size() - 1));
    out += line;
  } else if (value.type == REG_DWORD && value.data.size() == 4) {
    uint32_t number = static_cast<uint32_t>(value.data[0]) | (uint32_t{value.data[1]} << 8) |
                      (uint32_t{value.data[2]} << 16) | (uint32_t{value.data[3]} << 24);
    char text[16];
    std::snprintf(text, sizeof text, "dword:%08x", number);
    out += line + text;
  } else if (value.type == REG_BINARY) {
    AppendHexBytes(out, line + "hex:", value.data);
  } else {
    char prefix[24];
    std::snprintf(prefix, sizeof prefix, "hex(%x):", value.type);
    AppendHexBytes(out, line + prefix, value.data);
  }
  out += '\n';
}

}  // namespace

std::string FormatRegistryText(const RegistryDocument& document) {
  std::string out = "REGEDIT4\n";
  for (const RegistryKeyEntry& key : document.keys) {
    out += "\n[";
    out += registry::kRootName;
    if (!key.path.empty()) {
      out += '\\';
      out += key.path;
    }
    out += "]\n";
    for (const RegistryValue& value : key.values) AppendValue(out, value);
  }
  out += '\n';
  return out;
}

}  // namespace platform
