#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "ProcessStreams.h"

namespace browser_extensions::platform {

int SetBinaryMode(FILE* stream) {
    return _setmode(_fileno(stream), _O_BINARY);
}

void IgnoreBrokenPipe() {}

void KeepStandardInputFromChildProcesses() {
    // The runtime's descriptor 0 and the standard handle are normally one handle; both are covered
    // in case they differ.
    const intptr_t descriptorHandle = _get_osfhandle(_fileno(stdin));
    if (descriptorHandle != -1) {
        SetHandleInformation(reinterpret_cast<HANDLE>(descriptorHandle), HANDLE_FLAG_INHERIT, 0);
    }
    const HANDLE standardHandle = GetStdHandle(STD_INPUT_HANDLE);
    if (standardHandle != nullptr && standardHandle != INVALID_HANDLE_VALUE) {
        SetHandleInformation(standardHandle, HANDLE_FLAG_INHERIT, 0);
    }
}

}  // namespace browser_extensions::platform
