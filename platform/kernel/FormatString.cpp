// wsprintfA: the platform's small formatter, with its 1024-byte output limit.
// Its "l" size means the platform's 32-bit LONG, so every integer argument
// without "I64" is read as 32 bits, whatever the host's long is.
#include <win/kernel.h>

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <string>

#include "Utf.h"

namespace {

constexpr size_t kOutputLimit = 1024;  // bytes, the terminator included

struct FieldFormat {
  bool leftAlign = false;
  bool zeroPad = false;
  bool alternate = false;
  size_t width = 0;
  bool hasPrecision = false;
  size_t precision = 0;
  enum class Size { Default, Short, Long, Wide64 } size = Size::Default;
};

class CFormatWriter {
 public:
  explicit CFormatWriter(char* out) : m_out(out) {}

  void Put(char c) {
    if (m_count < kOutputLimit - 1) {
      m_out[m_count++] = c;
    }
  }
  void Put(const char* text, size_t length) {
    for (size_t i = 0; i < length; ++i) {
      Put(text[i]);
    }
  }
  void PutRepeated(char c, size_t count) {
    for (size_t i = 0; i < count; ++i) {
      Put(c);
    }
  }
  // A field: the prefix (sign, "0x") before any zero padding, the body after it.
  void PutField(const FieldFormat& field, const std::string& prefix, const std::string& body,
                bool zeroPadAllowed) {
    const size_t length = prefix.size() + body.size();
    const size_t padding = field.width > length ? field.width - length : 0;
    if (field.leftAlign) {
      Put(prefix.data(), prefix.size());
      Put(body.data(), body.size());
      PutRepeated(' ', padding);
      return;
    }
    if (field.zeroPad && zeroPadAllowed) {
      Put(prefix.data(), prefix.size());
      PutRepeated('0', padding);
      Put(body.data(), body.size());
      return;
    }
    PutRepeated(' ', padding);
    Put(prefix.data(), prefix.size());
    Put(body.data(), body.size());
  }
  int Finish() {
    m_out[m_count] = '\0';
    return static_cast<int>(m_count);
  }

 private:
  char* m_out;  // borrowed: the caller's buffer of at least kOutputLimit bytes
  size_t m_count = 0;
};

std::string Digits(uint64_t value, unsigned base, bool upper) {
  const char* digits = upper ? "0123456789ABCDEF" : "0123456789abcdef";
  std::string text;
  do {
    text.insert(text.begin(), digits[value % base]);
    value /= base;
  } while (value != 0);
  return text;
}

std::string WideToNarrow(const WCHAR* text, size_t length) {
  bool replaced = false;
  std::string narrow(platform::kernel::Utf16ToUtf8(text, length, nullptr, "?", &replaced), '\0');
  platform::kernel::Utf16ToUtf8(text, length, narrow.data(), "?", &replaced);
  return narrow;
}

const char* ParseField(const char* at, FieldFormat* field) {
  for (;; ++at) {
    if (*at == '-') {
      field->leftAlign = true;
    } else if (*at == '0') {
      field->zeroPad = true;
    } else if (*at == '#') {
      field->alternate = true;
    } else {
      break;
    }
  }
  // Widths beyond the output limit pad no further than the limit does.
  for (; *at >= '0' && *at <= '9'; ++at) {
    field->width =
        std::min<size_t>(field->width * 10 + static_cast<size_t>(*at - '0'), kOutputLimit);
  }
  if (*at == '.') {
    field->hasPrecision = true;
    for (++at; *at >= '0' && *at <= '9'; ++at) {
      field->precision =
          std::min<size_t>(field->precision * 10 + static_cast<size_t>(*at - '0'), kOutputLimit);
    }
  }
  if (*at == 'l') {
    field->size = FieldFormat::Size::Long;
    ++at;
  } else if (*at == 'h') {
    field->size = FieldFormat::Size::Short;
    ++at;
  } else if (std::strncmp(at, "I64", 3) == 0) {
    field->size = FieldFormat::Size::Wide64;
    at += 3;
  }
  return at;
}

void FormatInteger(CFormatWriter& writer, const FieldFormat& field, char type, va_list& arguments) {
  const bool isSigned = type == 'd' || type == 'i';
  uint64_t magnitude = 0;
  bool negative = false;
  if (field.size == FieldFormat::Size::Wide64) {
    if (isSigned) {
      const int64_t value = va_arg(arguments, long long);
      negative = value < 0;
      magnitude = negative ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
    } else {
      magnitude = va_arg(arguments, unsigned long long);
    }
  } else if (isSigned) {
    int32_t value = va_arg(arguments, int);
    if (field.size == FieldFormat::Size::Short) {
      value = static_cast<int16_t>(value);
    }
    negative = value < 0;
    magnitude = negative ? 0 - static_cast<uint64_t>(static_cast<int64_t>(value))
                         : static_cast<uint64_t>(value);
  } else {
    uint32_t value = va_arg(arguments, unsigned int);
    if (field.size == FieldFormat::Size::Short) {
      value = static_cast<uint16_t>(value);
    }
    magnitude = value;
  }
  const bool hex = type == 'x' || type == 'X';
  std::string body = Digits(magnitude, hex ? 16 : 10, type == 'X');
  if (field.hasPrecision && body.size() < field.precision) {
    body.insert(0, field.precision - body.size(), '0');
  }
  std::string prefix = negative ? "-" : "";
  if (hex && field.alternate && magnitude != 0) {
    prefix = type == 'X' ? "0X" : "0x";
  }
  writer.PutField(field, prefix, body, !field.hasPrecision);
}

void FormatString(CFormatWriter& writer, const FieldFormat& field, bool wide, va_list& arguments) {
  std::string text;
  if (wide) {
    const WCHAR* value = va_arg(arguments, const WCHAR*);
    if (value == nullptr) {
      text = "(null)";
    } else {
      // A precision bounds the characters read, so an unterminated string is safe with one.
      size_t length = 0;
      while ((!field.hasPrecision || length < field.precision) && value[length] != 0) {
        ++length;
      }
      text = WideToNarrow(value, length);
    }
  } else {
    const char* value = va_arg(arguments, const char*);
    if (value == nullptr) {
      text = "(null)";
    } else {
      size_t length = 0;
      while ((!field.hasPrecision || length < field.precision) && value[length] != '\0') {
        ++length;
      }
      text.assign(value, length);
    }
  }
  if (field.hasPrecision && text.size() > field.precision) {
    text.resize(field.precision);
  }
  writer.PutField(field, "", text, true);
}

void FormatCharacter(CFormatWriter& writer, const FieldFormat& field, bool wide,
                     va_list& arguments) {
  const int value = va_arg(arguments, int);
  std::string text;
  if (wide) {
    const WCHAR unit = static_cast<WCHAR>(value);
    text = WideToNarrow(&unit, 1);
  } else {
    text.assign(1, static_cast<char>(value));
  }
  writer.PutField(field, "", text, true);
}

}  // namespace

PLATFORM_API int WINAPI wvsprintfA(LPSTR buffer, LPCSTR format, va_list arguments) {
  if (buffer == nullptr) {
    return 0;
  }
  CFormatWriter writer(buffer);
  if (format == nullptr) {
    return writer.Finish();
  }
  va_list remaining;
  va_copy(remaining, arguments);
  for (const char* at = format; *at != '\0';) {
    if (*at != '%') {
      writer.Put(*at++);
      continue;
    }
    FieldFormat field;
    at = ParseField(at + 1, &field);
    const char type = *at;
    if (type == '\0') {
      break;
    }
    ++at;
    const bool longSize = field.size == FieldFormat::Size::Long;
    switch (type) {
      case 'd':
      case 'i':
      case 'u':
      case 'x':
      case 'X':
        FormatInteger(writer, field, type, remaining);
        break;
      case 's':
      case 'S':
        // In the narrow formatter "S" is the wide string, and "hS" narrow again.
        FormatString(writer, field, type == 's' ? longSize : field.size != FieldFormat::Size::Short,
                     remaining);
        break;
      case 'c':
      case 'C':
        FormatCharacter(writer, field,
                        type == 'c' ? longSize : field.size != FieldFormat::Size::Short, remaining);
        break;
      default:
        // Anything else, "%" included, stands for itself.
        writer.Put(type);
        break;
    }
  }
  va_end(remaining);
  return writer.Finish();
}

PLATFORM_API int wsprintfA(LPSTR buffer, LPCSTR format, ...) {
  va_list arguments;
  va_start(arguments, format);
  const int written = wvsprintfA(buffer, format, arguments);
  va_end(arguments);
  return written;
}
