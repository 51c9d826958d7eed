#pragma once

namespace browser_extensions {

// The whole life of the host process: prepares the standard streams, creates the central
// handler and the background threads, reads frames until standard input ends. Returns the exit
// code: 0 at end of input, -1 when the standard streams cannot be prepared.
int RunHost();

}  // namespace browser_extensions
