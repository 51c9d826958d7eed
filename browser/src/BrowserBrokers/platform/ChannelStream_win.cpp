#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include "ChannelStream.h"

namespace browser_extensions::platform {
namespace {

// Standard error when it is open, else the null device: either way stray output stays out of
// the channel. Code that writes to the standard handle directly is turned away as well.
void RedirectStandardOutputAwayFromChannel() {
    const int out = _fileno(stdout);
    if (_dup2(_fileno(stderr), out) != 0) {
        const int nullDevice = _open("NUL", _O_WRONLY | _O_BINARY);
        if (nullDevice != -1) {
            _dup2(nullDevice, out);
            _close(nullDevice);
        }
    }
    const intptr_t handle = _get_osfhandle(out);
    if (handle != -1) {
        SetStdHandle(STD_OUTPUT_HANDLE, reinterpret_cast<HANDLE>(handle));
    }
}

}  // namespace

FILE* DetachChannelFromStandardOutput() {
    std::fflush(stdout);
    const int channel = _dup(_fileno(stdout));
    if (channel == -1) {
        return nullptr;
    }
    // _dup makes an inheritable handle: a child process started with inherited handles could
    // write frames into the channel and would keep the browser's port open after the host ends.
    SetHandleInformation(reinterpret_cast<HANDLE>(_get_osfhandle(channel)), HANDLE_FLAG_INHERIT, 0);
    _setmode(channel, _O_BINARY);
    FILE* stream = _fdopen(channel, "wb");
    if (stream == nullptr) {
        _close(channel);
        return nullptr;
    }
    std::setvbuf(stream, nullptr, _IONBF, 0);
    RedirectStandardOutputAwayFromChannel();
    return stream;
}

}  // namespace browser_extensions::platform
