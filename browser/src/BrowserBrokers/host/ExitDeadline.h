#pragma once

#include <chrono>

namespace browser_extensions {

// Bounds the host's end. Once input has ended the process must go, but a thread of the agent or
// the bridge can be stuck inside a write to a browser that stopped reading, holding the output
// lock that the end waits for. Armed, the deadline ends the process with code 0 when it passes,
// without flushing or closing any stream (a stuck writer holds one); disarmed once the end has got
// past every wait, it leaves the rest of the exit alone.
void ArmExitDeadline(std::chrono::milliseconds deadline);
void DisarmExitDeadline();

}  // namespace browser_extensions
