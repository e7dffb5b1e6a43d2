#include "tessaly/reports/TerminalText.h"

namespace tessaly::cli {

namespace {

// Length of the UTF-8 sequence that starts at text[at], 0 when none does.
size_t SequenceLength(const std::string& text, size_t at) {
  const auto byte = [&text](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(at);
  size_t length = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (at + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  }
  // C1 control characters come as U+0080 to U+009F.
  if (lead == 0xC2 && byte(at + 1) < 0xA0) return 0;
  return length;
}

}  // namespace

std::string TerminalSafe(const std::string& text) {
  std::string safe;
  safe.reserve(text.size());
  for (size_t at = 0; at < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (c < 0x80) {
      safe.push_back(c < 0x20 || c == 0x7F ? '?' : static_cast<char>(c));
      ++at;
      continue;
    }
    const size_t length = SequenceLength(text, at);
    if (length == 0) {
      safe.push_back('?');
      ++at;
      continue;
    }
    safe.append(text, at, length);
    at += length;
  }
  return safe;
}

}  // namespace tessaly::cli
