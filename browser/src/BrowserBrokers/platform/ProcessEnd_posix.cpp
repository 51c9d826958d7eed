#include <cstdlib>

#include "ProcessEnd.h"

namespace browser_extensions::platform {

void EndProcessAtOnce(int code) {
    std::_Exit(code);
}

}  // namespace browser_extensions::platform
