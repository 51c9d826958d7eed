#pragma once

#include <string>
#include <string_view>

namespace browser_extensions {

// The host's only conversions between the channel's UTF-8 and the UTF-16 code units held in
// std::wstring (one code unit per wchar_t on every platform). Lengths decide, not terminators:
// a NUL inside the input is converted like any other character. Malformed UTF-8 and unpaired
// surrogates become U+FFFD; neither function fails for any input content.
std::wstring Utf8ToWide(std::string_view utf8);
std::string WideToUtf8(std::wstring_view wide);

}  // namespace browser_extensions
