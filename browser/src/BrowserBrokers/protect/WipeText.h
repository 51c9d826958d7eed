#pragma once

#include <string>
#include <vector>

#include "platform/DataProtection.h"

namespace browser_extensions {

// Overwrites every character a string's storage can hold (a short string's inline buffer too,
// where a moved-from string keeps its characters) and leaves it empty.
template <typename Char, typename Traits, typename Allocator>
void WipeText(std::basic_string<Char, Traits, Allocator>& text) noexcept {
    platform::WipeBytes(&text[0], (text.capacity() + 1) * sizeof(Char));
    text.clear();
}

// The same for a vector's whole allocation; the vector is left empty.
template <typename Element, typename Allocator>
void WipeText(std::vector<Element, Allocator>& bytes) noexcept {
    if (bytes.capacity() > 0) {
        bytes.resize(bytes.capacity());
        platform::WipeBytes(bytes.data(), bytes.size() * sizeof(Element));
    }
    bytes.clear();
}

// Wipes a string or a vector and gives its storage back.
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
