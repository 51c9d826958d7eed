#include "protect/StackWipe.h"

#include <cstddef>
#include <cstring>

#include "platform/DataProtection.h"

namespace browser_extensions {
namespace {

// The C library's block copies leave the last bytes they moved in vector registers, which the
// kernel may store on this stack later (a signal's frame). Copying zeros of every size class
// through the same routine leaves zeros there instead.
void ClearCopyRegisters(unsigned char* zeros, unsigned char* target, std::size_t size) {
    for (std::size_t block = 16; block <= size; block *= 2) {
        std::memcpy(target, zeros, block);
        std::memmove(target + 1, target, block - 1);
    }
    platform::WipeBytes(target, size);
}

}  // namespace

void WipeStackBelow() {
    constexpr std::size_t kDepth = 32 * 1024;
    constexpr std::size_t kCopyBlock = 4096;
    unsigned char scratch[kDepth];
    platform::WipeBytes(scratch, sizeof scratch);
    ClearCopyRegisters(scratch, scratch + kCopyBlock, kCopyBlock);
}

}  // namespace browser_extensions
