#pragma once

namespace browser_extensions::platform {

// Ends the process with `code` at once: no exit processing, no library's end code, no stream
// flushed or closed.
[[noreturn]] void EndProcessAtOnce(int code);

}  // namespace browser_extensions::platform
