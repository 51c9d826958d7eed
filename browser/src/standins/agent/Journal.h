#pragma once

#include <functional>

#include "json/Value.h"

namespace varnhold_standin {

// Appends {"call":"<function>","args":[...]} as one compact line to the file named by
// VARNHOLD_JOURNAL, when it is set. The arguments are built only then: copying a large text costs
// the host's process memory for nothing when nobody reads the journal.
void JournalCall(const wchar_t* function,
                 const std::function<browser_extensions::json::Array()>& makeArgs);

}  // namespace varnhold_standin
