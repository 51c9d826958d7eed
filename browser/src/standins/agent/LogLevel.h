#pragma once

namespace varnhold_standin {

// The integer in the file named by VARNHOLD_LOG_LEVEL_FILE (read afresh each time), else the one
// in VARNHOLD_LOG_LEVEL, else 1. Text that is not an integer is passed over like a missing one.
int CurrentLogLevel();

}  // namespace varnhold_standin
