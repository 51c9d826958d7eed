#pragma once

#include <cstdio>

namespace browser_extensions::platform {

// Puts the stream's descriptor into binary mode, as _setmode(_fileno(f), _O_BINARY) does.
// Returns -1 with errno set on failure (for example when the descriptor is not open), anything
// else on success. POSIX streams are always binary, so there it only checks the descriptor.
int SetBinaryMode(FILE* stream);

// Prepares the process for a channel whose reader may go away: on POSIX a write to a closed pipe
// must fail quietly instead of raising SIGPIPE, as it does on Windows.
void IgnoreBrokenPipe();

// Standard input is the browser's pipe: a child process that inherited it would keep the port
// open after the host ends. Makes it non-inheritable (close-on-exec on POSIX).
void KeepStandardInputFromChildProcesses();

}  // namespace browser_extensions::platform
