#include <windows.h>

#include "DebugOutput.h"

namespace browser_extensions::platform::detail {

void PlatformDebugOutputW(const std::wstring& text) {
    OutputDebugStringW(text.c_str());
}

void PlatformDebugOutputA(const std::string& text) {
    OutputDebugStringA(text.c_str());
}

// Windows cannot tell cheaply whether a debugger listens; lines are always handed over.
bool PlatformDebugOutputEnabled() {
    return true;
}

}  // namespace browser_extensions::platform::detail
