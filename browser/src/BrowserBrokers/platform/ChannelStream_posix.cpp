#include <fcntl.h>
#include <unistd.h>

#include "ChannelStream.h"

namespace browser_extensions::platform {
namespace {

// Standard error when it is open, else the null device: either way stray output stays out of
// the channel.
void RedirectStandardOutputAwayFromChannel() {
    if (::dup2(STDERR_FILENO, STDOUT_FILENO) != -1) {
        return;
    }
    const int nullDevice = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (nullDevice != -1) {
        ::dup2(nullDevice, STDOUT_FILENO);
        ::close(nullDevice);
    }
}

}  // namespace

FILE* DetachChannelFromStandardOutput() {
    std::fflush(stdout);
    const int channel = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (channel == -1) {
        return nullptr;
    }
    FILE* stream = ::fdopen(channel, "wb");
    if (stream == nullptr) {
        ::close(channel);
        return nullptr;
    }
    std::setvbuf(stream, nullptr, _IONBF, 0);
    RedirectStandardOutputAwayFromChannel();
    return stream;
}

}  // namespace browser_extensions::platform
