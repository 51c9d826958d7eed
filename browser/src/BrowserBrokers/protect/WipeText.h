#pragma once

#include <cstddef>
#include <string>

#include "platform/DataProtection.h"

namespace browser_extensions {

// Overwrites every character a string's storage can hold (a short string's inline buffer too,
// where a moved-from string keeps its characters) and leaves it empty. A few units go through a
// volatile pointer, which no compiler may leave out: the common case, cheaper than the call.
template <typename Char, typename Traits, typename Allocator>
void WipeText(std::basic_string<Char, Traits, Allocator>& text) noexcept {
    Char* const data = &text[0];
    const std::size_t units = text.capacity() + 1;
    if (units * sizeof(Char) <= 32) {
        volatile Char* const unit = data;
        for (std::size_t i = 0; i < units; ++i) {
            unit[i] = Char();
        }
    } else {
        platform::WipeBytes(data, units * sizeof(Char));
    }
    text.clear();
}

// Wipes a string and gives its storage back.
template <typename Text>
void ReleaseText(Text& text) noexcept {
    WipeText(text);
    Text().swap(text);
}

// Wipes a string when the scope that owns it ends, by any path.
template <typename Text>
class CTextWipeGuard {
  public:
    explicit CTextWipeGuard(Text& text) : m_text(text) {}
    ~CTextWipeGuard() { WipeText(m_text); }
    CTextWipeGuard(const CTextWipeGuard&) = delete;
    CTextWipeGuard& operator=(const CTextWipeGuard&) = delete;

  private:
    Text& m_text;
};

}  // namespace browser_extensions
