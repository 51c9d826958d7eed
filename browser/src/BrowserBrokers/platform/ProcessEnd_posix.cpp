#include <cstdlib>

#include "ProcessEnd.h"

namespace browser_extensions::platform {

void EndProcess(int code) {
    std::exit(code);
}

void EndProcessAtOnce(int code) {
    std::_Exit(code);
}

}  // namespace browser_extensions::platform
