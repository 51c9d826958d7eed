#include "RealSystemServices.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace browser_extensions::registration {
// The real services' writes and removals: whoever owns the target folder cannot turn them
// against the one running the tool, since no link someone else planted is followed.
namespace {

constexpr int kAttempts = 16;

// Closes the descriptor when it leaves scope.
class Descriptor {
  public:
    explicit Descriptor(int fd = -1) : fd_(fd) {}
    ~Descriptor() { Reset(-1); }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    void Reset(int fd) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_;
};

std::string ErrorText(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

// A link made by the administrator or by whoever runs the tool may be followed; one planted by
// another user may not.
bool LinkMayBeFollowed(int folder, const std::string& name) {
    struct stat status {};
    return ::fstatat(folder, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
           S_ISLNK(status.st_mode) && (status.st_uid == 0 || status.st_uid == ::geteuid());
}

int OpenFolderIn(int folder, const std::string& name) {
    const int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    const int fd = ::openat(folder, name.c_str(), flags | O_NOFOLLOW);
    if (fd >= 0 || (errno != ELOOP && errno != ENOTDIR) || !LinkMayBeFollowed(folder, name)) {
        return fd;
    }
    return ::openat(folder, name.c_str(), flags);
}

// Opens `path` as a folder one part at a time, creating missing parts when asked.
bool OpenFolder(const std::string& path, bool create, Descriptor& folder, std::string& error) {
    if (path.empty() || path.front() != '/') {
        error = "not an absolute path: " + path;
        return false;
    }
    folder.Reset(::open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    std::string reached;
    for (const std::filesystem::path& element : std::filesystem::path(path).relative_path()) {
        const std::string part = element.string();
        if (part.empty()) {
            continue;  // what follows a trailing slash
        }
        reached += "/" + part;
        int next = OpenFolderIn(folder.get(), part);
        if (next < 0 && errno == ENOENT && create) {
            if (::mkdirat(folder.get(), part.c_str(), 0755) != 0 && errno != EEXIST) {
                error = ErrorText("cannot create", reached);
                return false;
            }
            next = OpenFolderIn(folder.get(), part);
        }
        if (next < 0) {
            const int cause = errno;
            error = cause == ELOOP || cause == ENOTDIR
                        ? reached + " is not a folder, or a link that another user made"
                        : ErrorText("cannot open", reached);
            errno = cause;
            return false;
        }
        folder.Reset(next);
    }
    return true;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(written);
    }
    return true;
}

std::string FolderPart(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NamePart(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

int CreateTemporary(int folder, const std::string& name, std::string& temporary) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temporary = RealSystemServices::TemporaryName(name);
        const int fd = ::openat(folder, temporary.c_str(),
                                O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (fd >= 0 || errno != EEXIST) {
            return fd;
        }
    }
    return -1;
}

}  // namespace

bool RealSystemServices::WriteFile(const std::string& path, const std::string& text,
                                   std::string& error) {
    const std::string folderPath = FolderPart(path);
    const std::string name = NamePart(path);
    if (name.empty()) {
        error = "not a file path: " + path;
        return false;
    }
    Descriptor folder;
    if (!OpenFolder(folderPath, true, folder, error)) {
        return false;
    }
    std::string temporary;
    Descriptor file(CreateTemporary(folder.get(), name, temporary));
    if (file.get() < 0) {
        error = ErrorText("cannot create a temporary file in", folderPath);
        return false;
    }
    // The umask must not hide the manifest from the browser's user.
    const bool written = WriteAll(file.get(), text) && ::fchmod(file.get(), 0644) == 0;
    const int writeErrno = errno;
    const bool closed = ::close(file.get()) == 0;
    file.Reset(-1);
    if (!written || !closed) {
        errno = written ? errno : writeErrno;
        error = ErrorText("cannot write", path);
        ::unlinkat(folder.get(), temporary.c_str(), 0);
        return false;
    }
    // A browser reading the folder never sees half a manifest.
    if (::renameat(folder.get(), temporary.c_str(), folder.get(), name.c_str()) != 0) {
        error = ErrorText("cannot replace", path);
        ::unlinkat(folder.get(), temporary.c_str(), 0);
        return false;
    }
    return true;
}

bool RealSystemServices::Remove(const std::string& path, std::string& error) {
    Descriptor folder;
    if (!OpenFolder(FolderPart(path), false, folder, error)) {
        // Nothing to remove where there is no folder.
        return errno == ENOENT ? (error.clear(), true) : false;
    }
    const std::string name = NamePart(path);
    struct stat status {};
    if (::fstatat(folder.get(), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT || (error = ErrorText("cannot remove", path), false);
    }
    if (!S_ISREG(status.st_mode)) {
        error = "left " + path + " alone: not a regular file";
        return false;
    }
    if (::unlinkat(folder.get(), name.c_str(), 0) != 0 && errno != ENOENT) {
        error = ErrorText("cannot remove", path);
        return false;
    }
    return true;
}

}  // namespace browser_extensions::registration
