#pragma once

#include <string>

#include "json/Value.h"

namespace browser_extensions::json {

// The compact text form: no whitespace, members in key order, every code unit outside
// U+0020..U+007E escaped (the short escapes where JSON has one, else \uXXXX in upper case), reals
// with 17 significant digits and the decimal point always shown; NaN and infinities as null.
std::wstring Write(const Value& value);

}  // namespace browser_extensions::json
