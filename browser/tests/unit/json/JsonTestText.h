#pragma once

#include <initializer_list>
#include <string>

namespace json_test {

// Text from explicit UTF-16 code units: a wide literal holds a non-BMP character as one unit
// where wchar_t is 32-bit.
inline std::wstring Units(std::initializer_list<unsigned> units) {
    std::wstring text;
    for (const unsigned unit : units) {
        text += static_cast<wchar_t>(unit);
    }
    return text;
}

}  // namespace json_test
