#pragma once

#include <chrono>

namespace browser_extensions {

// Bounds the host's end, all the way to the end of the process. Once input has ended the process
// must go, but a thread of the agent or the bridge can be stuck inside a write to a browser that
// stopped reading, holding the output lock, and the libraries' static destructors and end code
// run after the entry has returned. Once armed, the deadline stays armed: when it passes before
// the process has ended, it ends the process with code 0 at once, without flushing or closing any
// stream (a stuck writer holds one) and without running any more end code.
void ArmExitDeadline(std::chrono::milliseconds deadline);

}  // namespace browser_extensions
