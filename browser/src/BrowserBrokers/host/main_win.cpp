#include "host/HostEntry.h"

// The browser's arguments (the caller's origin, a window handle) are not used. A plain return:
// the libraries' detach code (the agent's last log writes among it) must run at the end, and
// ExitProcess ends every other thread before it does, so no deadline can bound that part here.
int wmain(int /*argc*/, wchar_t* /*argv*/[]) {
    return browser_extensions::RunHost();
}
