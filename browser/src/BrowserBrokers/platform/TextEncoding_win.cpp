#include <windows.h>

#include <climits>

#include "TextEncoding.h"

namespace browser_extensions {

// Two passes each, as the platform intends: ask for the size, then convert into a result of
// exactly that size. Inputs beyond the 32-bit count the calls take are refused with an empty
// result, like a failed size query.

std::wstring Utf8ToWide(std::string_view utf8) {
    if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX)) {
        return std::wstring();
    }
    const int inputLength = static_cast<int>(utf8.size());
    const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inputLength, nullptr, 0);
    if (needed <= 0) {
        return std::wstring();
    }
    std::wstring result(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), inputLength, &result[0], needed);
    return result;
}

std::string WideToUtf8(std::wstring_view wide) {
    if (wide.empty() || wide.size() > static_cast<size_t>(INT_MAX)) {
        return std::string();
    }
    const int inputLength = static_cast<int>(wide.size());
    const int needed =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), inputLength, nullptr, 0, nullptr, nullptr);
    if (needed <= 0) {
        return std::string();
    }
    std::string result(static_cast<size_t>(needed), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), inputLength, &result[0], needed, nullptr, nullptr);
    return result;
}

}  // namespace browser_extensions
