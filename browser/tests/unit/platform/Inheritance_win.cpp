#include <windows.h>

#include <io.h>

#include "platform/Inheritance.h"

namespace {

HANDLE HandleOf(int descriptor) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(descriptor));
}

}  // namespace

bool IsInheritedByChildProcesses(int descriptor) {
    DWORD flags = 0;
    return GetHandleInformation(HandleOf(descriptor), &flags) != 0 &&
           (flags & HANDLE_FLAG_INHERIT) != 0;
}

void MakeInheritedByChildProcesses(int descriptor) {
    SetHandleInformation(HandleOf(descriptor), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
}
