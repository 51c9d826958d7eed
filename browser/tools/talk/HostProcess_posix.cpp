#include "HostProcess.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace browser_extensions::talk {
namespace {

void CloseDescriptor(int& fd) {
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

bool MakePipe(int fds[2]) {
    if (::pipe(fds) != 0) {
        return false;
    }
    ::fcntl(fds[0], F_SETFD, FD_CLOEXEC);
    ::fcntl(fds[1], F_SETFD, FD_CLOEXEC);
    return true;
}

std::vector<char*> PointersTo(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (auto& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

// Only async-signal-safe calls between fork and exec; a failure is reported through `report`.
[[noreturn]] void RunChild(const int in[2], const int out[2], const int err[2], int report,
                           const char* directory, char* const* argv) {
    if (::dup2(in[0], 0) < 0 || ::dup2(out[1], 1) < 0 || ::dup2(err[1], 2) < 0 ||
        ::chdir(directory) != 0) {
        const int code = errno;
        (void)!::write(report, &code, sizeof code);
        ::_exit(127);
    }
    ::execve(argv[0], argv, environ);
    const int code = errno;
    (void)!::write(report, &code, sizeof code);
    ::_exit(127);
}

class PosixHostProcess : public HostProcess {
  public:
    // Our ends of the host's stdin, stdout and stderr, by stream number.
    PosixHostProcess(pid_t pid, std::array<int, 3> pipes) : pid_(pid), pipes_(pipes) {}

    ~PosixHostProcess() override {
        for (int& fd : pipes_) {
            CloseDescriptor(fd);
        }
    }

    long Id() const override { return static_cast<long>(pid_); }

    void CloseInput() override { CloseDescriptor(pipes_[0]); }

    std::size_t Read(Stream stream, char* buffer, std::size_t capacity) override {
        return ReadSome(pipes_[stream == Stream::Output ? 1 : 2], buffer, capacity);
    }

    std::optional<ExitStatus> WaitForExit(std::chrono::milliseconds limit) override {
        const auto deadline = std::chrono::steady_clock::now() + limit;
        while (!status_) {
            int raw = 0;
            const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
            if (done == pid_) {
                ExitStatus status;
                status.killed = killed_;
                if (WIFEXITED(raw)) {
                    status.code = WEXITSTATUS(raw);
                } else if (WIFSIGNALED(raw)) {
                    status.signal = WTERMSIG(raw);
                }
                status_ = status;
                break;
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return status_;
    }

    void Kill() override {
        if (!status_) {
            killed_ = true;
            ::kill(pid_, SIGKILL);
        }
    }

  private:
    std::size_t WriteSome(const char* bytes, std::size_t size) override {
        for (;;) {
            const ssize_t n = ::write(pipes_[0], bytes, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    }

    static std::size_t ReadSome(int fd, char* buffer, std::size_t capacity) {
        for (;;) {
            const ssize_t n = ::read(fd, buffer, capacity);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            return n > 0 ? static_cast<std::size_t>(n) : 0;
        }
    }

    pid_t pid_;
    std::array<int, 3> pipes_;
    bool killed_ = false;
    std::optional<ExitStatus> status_;
};

}  // namespace

std::unique_ptr<HostProcess> HostProcess::Start(const LaunchSpec& launch, std::string& error) {
    std::vector<std::string> argvTexts{launch.program};
    argvTexts.insert(argvTexts.end(), launch.arguments.begin(), launch.arguments.end());
    std::vector<char*> argv = PointersTo(argvTexts);
    // The host inherits the tool's environment; no thread of the tool runs yet to read it.
    for (const auto& [name, value] : launch.environment) {
        ::setenv(name.c_str(), value.c_str(), 1);
    }

    int in[2] = {-1, -1}, out[2] = {-1, -1}, err[2] = {-1, -1}, report[2] = {-1, -1};
    auto closeAll = [&] {
        for (int* fds : {in, out, err, report}) {
            CloseDescriptor(fds[0]);
            CloseDescriptor(fds[1]);
        }
    };
    if (!MakePipe(in) || !MakePipe(out) || !MakePipe(err) || !MakePipe(report)) {
        error = std::string("cannot create pipes: ") + std::strerror(errno);
        closeAll();
        return nullptr;
    }
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("cannot fork: ") + std::strerror(errno);
        closeAll();
        return nullptr;
    }
    if (pid == 0) {
        RunChild(in, out, err, report[1], launch.workingDirectory.c_str(), argv.data());
    }
    CloseDescriptor(report[1]);
    int childErrno = 0;
    ssize_t got;
    do {
        got = ::read(report[0], &childErrno, sizeof childErrno);
    } while (got < 0 && errno == EINTR);
    CloseDescriptor(report[0]);
    if (got == static_cast<ssize_t>(sizeof childErrno)) {
        ::waitpid(pid, nullptr, 0);
        error = std::string("cannot start ") + launch.program + ": " + std::strerror(childErrno);
        closeAll();
        return nullptr;
    }
    CloseDescriptor(in[0]);
    CloseDescriptor(out[1]);
    CloseDescriptor(err[1]);
    return std::make_unique<PosixHostProcess>(pid, std::array<int, 3>{in[1], out[0], err[0]});
}

}  // namespace browser_extensions::talk
