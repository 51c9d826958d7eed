#pragma once

#include <string>

namespace halvern {

// Overwrites the string's whole storage and empties it, so that a scan of the process finds the
// host's copies of a message, not the bridge's. Through a volatile pointer, so the stores stay; the
// bridge links no library of the host's for this.
inline void WipeText(std::wstring& text) noexcept {
    volatile wchar_t* unit = &text[0];
    for (size_t i = 0; i <= text.capacity(); ++i) {
        unit[i] = L'\0';
    }
    text.clear();
}

}  // namespace halvern
