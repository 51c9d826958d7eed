#include "SafeFile.h"

#include <cstdint>
#include <random>

namespace browser_extensions::registration {

std::string SafeFile::TemporaryName(const std::string& fileName) {
    static const char kDigits[] = "0123456789abcdef";
    std::random_device source;
    std::string suffix;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t bits = source();
        for (int nibble = 0; nibble < 8; ++nibble, bits >>= 4) {
            suffix += kDigits[bits & 0xF];
        }
    }
    return "." + fileName + "." + suffix + ".tmp";
}

}  // namespace browser_extensions::registration
