#pragma once

#include <cstdio>

namespace browser_extensions {

// Binary mode (no translation of 0x0A, 0x0D, 0x1A) and no buffering for one standard stream.
// Returns 0 on success, -1 when binary mode cannot be set, or setvbuf's nonzero result; each
// failure writes its perror line to standard error.
int SetBinaryUnbuffered(FILE* stream);

}  // namespace browser_extensions
