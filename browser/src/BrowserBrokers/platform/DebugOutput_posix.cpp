#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "DebugOutput.h"
#include "TextEncoding.h"

namespace browser_extensions::platform::detail {
namespace {

// Opened once and never closed: threads may still write while the process exits.
int SinkDescriptor() {
    static const int fd = [] {
        const char* path = std::getenv("QUENLOW_DEBUG_OUTPUT");
        if (path == nullptr || *path == '\0') {
            return -1;
        }
        return ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }();
    return fd;
}

// One write per line, so lines from several threads never mix. Like the Windows calls, which take
// a C string, a line ends at its first NUL.
void WriteLine(std::string line) {
    const int fd = SinkDescriptor();
    if (fd < 0) {
        return;
    }
    line.resize(std::char_traits<char>::length(line.c_str()));
    line.push_back('\n');
    const ssize_t written = ::write(fd, line.data(), line.size());
    (void)written;  // diagnostics are best effort, as on Windows
}

}  // namespace

void PlatformDebugOutputW(const std::wstring& text) {
    if (SinkDescriptor() >= 0) {
        WriteLine(WideToUtf8(text.substr(0, std::char_traits<wchar_t>::length(text.c_str()))));
    }
}

void PlatformDebugOutputA(const std::string& text) {
    WriteLine(text);
}

bool PlatformDebugOutputEnabled() {
    return SinkDescriptor() >= 0;
}

}  // namespace browser_extensions::platform::detail
