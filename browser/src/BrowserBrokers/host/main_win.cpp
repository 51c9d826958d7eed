#include "host/HostEntry.h"

// The browser's arguments (the caller's origin, a window handle) are not used.
int wmain(int /*argc*/, wchar_t* /*argv*/[]) {
    return browser_extensions::RunHost();
}
