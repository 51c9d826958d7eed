#include "SystemMessage.h"

#include <windows.h>

#include <cwctype>

#include "platform/TextEncoding.h"

namespace browser_extensions::registration {

std::string SystemMessage(unsigned long code) {
    wchar_t* text = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring message = length != 0 ? std::wstring(text, length) : std::wstring();
    ::LocalFree(text);
    while (!message.empty() && std::iswspace(message.back())) {
        message.pop_back();
    }
    return WideToUtf8(message) + " (error " + std::to_string(code) + ")";
}

}  // namespace browser_extensions::registration
