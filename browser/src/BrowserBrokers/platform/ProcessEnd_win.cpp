#include <windows.h>

#include "ProcessEnd.h"

namespace browser_extensions::platform {

void EndProcessAtOnce(int code) {
    // Not _Exit, which calls ExitProcess: that runs every library's detach code after ending the
    // other threads.
    TerminateProcess(GetCurrentProcess(), static_cast<UINT>(code));
    ExitProcess(static_cast<UINT>(code));  // not reached: the process has ended
}

}  // namespace browser_extensions::platform
