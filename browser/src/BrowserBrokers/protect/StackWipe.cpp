#include "protect/StackWipe.h"

#include <cstddef>

#include "platform/DataProtection.h"

namespace browser_extensions {

void WipeStackBelow() {
    constexpr std::size_t kDepth = 32 * 1024;
    unsigned char scratch[kDepth];
    platform::WipeBytes(scratch, sizeof scratch);
}

}  // namespace browser_extensions
