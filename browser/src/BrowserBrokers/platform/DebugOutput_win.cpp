#include <windows.h>

#include "DebugOutput.h"

namespace browser_extensions::platform::detail {

void PlatformDebugOutputW(const std::wstring& text) {
    OutputDebugStringW(text.c_str());
}

void PlatformDebugOutputA(const std::string& text) {
    OutputDebugStringA(text.c_str());
}

// The two listeners OutputDebugString itself looks for: a debugger attached to the process, or a
// debug-output viewer, which announces itself with the DBWIN_BUFFER_READY event of its shared
// buffer. Without either, the string goes nowhere, and a large message's line is not worth making.
bool PlatformDebugOutputEnabled() {
    if (IsDebuggerPresent()) {
        return true;
    }
    const HANDLE viewerReady = OpenEventW(SYNCHRONIZE, FALSE, L"DBWIN_BUFFER_READY");
    if (viewerReady == nullptr) {
        return false;
    }
    CloseHandle(viewerReady);
    return true;
}

}  // namespace browser_extensions::platform::detail
