#pragma once

#include <cstdio>

namespace browser_extensions::platform {

// Takes the process's standard output for the channel alone. Returns a binary, unbuffered stream
// on a duplicate of the original standard output, and points the process's standard output (the
// descriptor, and on Windows the standard handle too) at standard error, so that text another
// library prints can never land inside a frame. Returns null, with standard output untouched,
// when it cannot be duplicated. The duplicate is not inherited by child processes. The stream is
// never closed by the host.
FILE* DetachChannelFromStandardOutput();

}  // namespace browser_extensions::platform
