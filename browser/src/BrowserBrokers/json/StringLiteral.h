#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "protect/SecretText.h"

namespace browser_extensions::json {

// The one escaper of every writer. The escape of `unit` in a JSON string literal, written to
// `out` with its length returned, or 0 when the unit stands for itself: quote and backslash
// escaped, control characters as \b \f \n \r \t or, without a short form, as \u00XX (upper-case
// hex); when `asciiOnly`, every unit above U+007E as \uXXXX too (one above U+FFFF, where wchar_t
// holds a whole code point, as the surrogate pair it would be in UTF-16).
std::size_t EscapeUnit(std::uint32_t unit, bool asciiOnly, char (&out)[12]);

// UTF-8 text as a JSON string literal, quotes included, valid JSON whatever the text holds: every
// byte of a non-ASCII character as it is. For text that leaves as UTF-8 (the channel's frames, the
// stand-ins' journals).
SecretString Utf8StringLiteral(std::string_view utf8);

// The one decoder of escapes. Decodes the escape that begins at `p` (a backslash) and ends before
// `end`, and moves `p` past it; false, with `p` unchanged, when no valid escape begins there. A
// \uXXXX escape gives exactly that code unit, a lone surrogate included.
bool DecodeEscape(const wchar_t*& p, const wchar_t* end, std::uint32_t& unit);

}  // namespace browser_extensions::json
