// Argument coercion for Invoke, as the platform coerces numbers.
#pragma once

#include <win/platform.h>

namespace platform::automation {

// S_OK with *out set; DISP_E_TYPEMISMATCH when the value is not a number
// (objects, errors, arrays, text that does not read as a number);
// DISP_E_OVERFLOW for text beyond the range of a double.
HRESULT CoerceToDouble(const VARIANT& value, double* out);

}  // namespace platform::automation
