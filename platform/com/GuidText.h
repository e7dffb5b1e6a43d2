// The registry form of a GUID, "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
#pragma once

#include <win/guid.h>

namespace platform::com {

inline constexpr int kGuidTextLength = 38;  // without the terminator

// Writes the braced upper-case form and a terminator into out.
void FormatGuidText(REFGUID guid, char (&out)[kGuidTextLength + 1]);

}  // namespace platform::com
