#include "host/StreamSetup.h"

#include "platform/ProcessStreams.h"

namespace browser_extensions {

int SetBinaryUnbuffered(FILE* stream) {
    if (platform::SetBinaryMode(stream) == -1) {
        std::perror("Cannot set binary mode");
        return -1;
    }
    const int result = std::setvbuf(stream, nullptr, _IONBF, 0);
    if (result != 0) {
        std::perror("Cannot set zero buffer");
        return result;
    }
    return 0;
}

}  // namespace browser_extensions
