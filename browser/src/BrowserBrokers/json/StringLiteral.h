#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace browser_extensions::json {

// UTF-8 text as a JSON string literal, quotes included, valid JSON whatever the text holds: quote
// and backslash escaped, control characters as \b \f \n \r \t or, without a short form, as \u00XX
// (upper-case hex); every other byte, those of non-ASCII characters included, as it is. For text
// that leaves as UTF-8 (the channel's frames, the stand-ins' journals); the JSON writer, which
// makes wide text, has rules of its own.
std::string Utf8StringLiteral(std::string_view utf8);

// The code unit that the four hex digits of a \uXXXX escape name (either letter case); false when
// `digits` are not four hex digits.
bool UnicodeEscapeUnit(std::wstring_view digits, std::uint32_t& unit);

}  // namespace browser_extensions::json
