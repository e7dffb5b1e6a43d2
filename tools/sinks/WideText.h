// UTF-16 names of pins and filters, as the host prints them.
#pragma once

#include <win/platform.h>

#include <string>

namespace tessaly::sinks {

std::string Utf8FromWide(const WCHAR* text);
std::u16string WideFromUtf8(const std::string& text);

}  // namespace tessaly::sinks
