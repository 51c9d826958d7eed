#pragma once

#include "json/Value.h"

namespace varnhold_standin {

// Appends {"call":"<function>","args":[...]} as one compact line to the file named by
// VARNHOLD_JOURNAL, when it is set.
void JournalCall(const wchar_t* function, browser_extensions::json::Array args);

}  // namespace varnhold_standin
