#include <fcntl.h>

#include "platform/Inheritance.h"

bool IsInheritedByChildProcesses(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFD);
    return flags != -1 && (flags & FD_CLOEXEC) == 0;
}

void MakeInheritedByChildProcesses(int descriptor) {
    const int flags = ::fcntl(descriptor, F_GETFD);
    if (flags != -1) {
        ::fcntl(descriptor, F_SETFD, flags & ~FD_CLOEXEC);
    }
}
