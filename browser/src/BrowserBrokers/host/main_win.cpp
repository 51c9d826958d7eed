#include "host/HostEntry.h"
#include "platform/ProcessEnd.h"

// The browser's arguments (the caller's origin, a window handle) are not used.
int wmain(int /*argc*/, wchar_t* /*argv*/[]) {
    // Not a return: the end the runtime would then run cannot be bounded by the exit deadline.
    browser_extensions::platform::EndProcess(browser_extensions::RunHost());
}
