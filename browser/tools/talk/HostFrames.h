#pragma once

#include "HostProcess.h"
#include "Report.h"
#include "Tally.h"

namespace browser_extensions::talk {

// Reads the host's output to its end, judges each frame as a browser would and shows it as it
// arrives.
void ReadHostFrames(HostProcess& host, Report& report, Tally& tally);

}  // namespace browser_extensions::talk
