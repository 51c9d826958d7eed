#pragma once

namespace browser_extensions::platform {

// Ends the process with `code` after the program's own exit processing (functions registered
// with atexit, static destructors, streams flushed), while every other thread still runs. On
// Windows the libraries' detach code is not run: the system runs it only after it has ended every
// other thread, so nothing could bound it; a library must not rely on it at process exit anyway.
[[noreturn]] void EndProcess(int code);

// Ends the process with `code` at once: no exit processing, no library's end code, no stream
// flushed or closed.
[[noreturn]] void EndProcessAtOnce(int code);

}  // namespace browser_extensions::platform
