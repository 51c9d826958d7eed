#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>

#include "StandinFiles.h"

namespace standins {

std::optional<std::string> EnvironmentText(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<std::string> ReadFileNamedBy(const char* name) {
    const std::optional<std::string> path = EnvironmentText(name);
    if (!path) {
        return std::nullopt;
    }
    const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content;
    char chunk[256];
    ssize_t count = 0;
    while ((count = ::read(fd, chunk, sizeof(chunk))) > 0) {
        content.append(chunk, static_cast<size_t>(count));
    }
    ::close(fd);
    if (count < 0) {
        return std::nullopt;
    }
    return content;
}

void AppendToFileNamedBy(const char* name, const std::string& line) {
    const std::optional<std::string> path = EnvironmentText(name);
    if (!path) {
        return;
    }
    const int fd = ::open(path->c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    const std::string record = line + "\n";
    const ssize_t written = ::write(fd, record.data(), record.size());
    (void)written;  // the journal is best effort; the agent's work goes on either way
    ::close(fd);
}

}  // namespace standins
