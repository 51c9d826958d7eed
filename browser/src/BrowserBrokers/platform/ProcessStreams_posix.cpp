#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include "ProcessStreams.h"

namespace browser_extensions::platform {

int SetBinaryMode(FILE* stream) {
    const int fd = fileno(stream);
    if (fd < 0 || ::fcntl(fd, F_GETFD) == -1) {
        return -1;  // errno is EBADF, as _setmode reports for a descriptor that is not open
    }
    return 0;
}

void IgnoreBrokenPipe() {
    ::signal(SIGPIPE, SIG_IGN);
}

void KeepStandardInputFromChildProcesses() {
    const int flags = ::fcntl(STDIN_FILENO, F_GETFD);
    if (flags != -1) {
        ::fcntl(STDIN_FILENO, F_SETFD, flags | FD_CLOEXEC);
    }
}

}  // namespace browser_extensions::platform
