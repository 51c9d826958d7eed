#include <fcntl.h>
#include <io.h>

#include "ProcessStreams.h"

namespace browser_extensions::platform {

int SetBinaryMode(FILE* stream) {
    return _setmode(_fileno(stream), _O_BINARY);
}

void IgnoreBrokenPipe() {}

}  // namespace browser_extensions::platform
