#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "Journal.h"

namespace halvern {

void AppendToJournal(const std::string& line) {
    const char* path = std::getenv("HALVERN_JOURNAL");
    if (path == nullptr || *path == '\0') {
        return;
    }
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    const std::string record = line + "\n";
    const ssize_t written = ::write(fd, record.data(), record.size());
    (void)written;  // a journal is best effort; the caller's work goes on either way
    ::close(fd);
}

}  // namespace halvern
