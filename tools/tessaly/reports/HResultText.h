// Names and meanings of the result codes the host may meet, for messages
// such as "0x8004022A VFW_E_TYPE_NOT_ACCEPTED (the media type was not accepted)".
#pragma once

#include <win/platform.h>

#include <string>

namespace tessaly::cli {

// The symbolic name, or empty for a code not in the table.
std::string HResultName(HRESULT hr);
// A short meaning in words; Win32 errors outside the table say their number.
std::string HResultMeaning(HRESULT hr);
// "0xXXXXXXXX NAME (meaning)".
std::string DescribeHResult(HRESULT hr);

}  // namespace tessaly::cli
