#include "RealSystemServices.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace browser_extensions::registration {

bool RealSystemServices::UsesRegistry() const {
    return false;
}

std::string RealSystemServices::HomeFolder() const {
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

std::string RealSystemServices::ConfigFolder() const {
    for (const char* name : {"CHROME_CONFIG_HOME", "XDG_CONFIG_HOME"}) {
        const char* folder = std::getenv(name);
        if (folder != nullptr && *folder != '\0') {
            return folder;
        }
    }
    return "";
}

std::string RealSystemServices::SystemDescription() const {
    struct utsname name {};
    if (::uname(&name) != 0) {
        return "unknown";
    }
    return std::string(name.sysname) + " " + name.release + " " + name.version + " " + name.machine;
}

namespace {

constexpr int kRunSeconds = 10;

// In the child: the program in its own folder, standard input at its end, output to `output`.
[[noreturn]] void StartChild(const std::string& program, const std::vector<std::string>& arguments,
                             int output) {
    const int nothing = ::open("/dev/null", O_RDONLY);
    if (nothing < 0 || ::dup2(nothing, 0) < 0 || ::dup2(output, 1) < 0 || ::dup2(output, 2) < 0) {
        ::_exit(127);
    }
    const std::string folder = std::filesystem::path(program).parent_path().string();
    if (!folder.empty() && ::chdir(folder.c_str()) != 0) {
        ::_exit(127);
    }
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
}

// Reads until the end of the output or the deadline; false at the deadline.
bool ReadUntilEnd(int input, std::string& output) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kRunSeconds);
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd ready{input, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR) {
            continue;
        }
        if (polled <= 0) {
            return polled == 0 ? false : true;
        }
        const ssize_t got = ::read(input, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return true;
        }
        output.append(buffer, static_cast<std::size_t>(got));
    }
}

}  // namespace

ProgramRun RealSystemServices::Run(const std::string& program,
                                   const std::vector<std::string>& arguments) const {
    ProgramRun run;
    int ends[2];
    if (::pipe(ends) != 0) {
        run.error = std::strerror(errno);
        return run;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        run.error = std::strerror(errno);
        ::close(ends[0]);
        ::close(ends[1]);
        return run;
    }
    if (child == 0) {
        ::close(ends[0]);
        StartChild(program, arguments, ends[1]);
    }
    ::close(ends[1]);
    const bool ended = ReadUntilEnd(ends[0], run.output);
    ::close(ends[0]);
    if (!ended) {
        ::kill(child, SIGKILL);  // the one this tool started
        run.error = "still running after " + std::to_string(kRunSeconds) + " s: stopped";
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    run.started = !(WIFEXITED(status) && WEXITSTATUS(status) == 127 && run.output.empty());
    if (!run.started) {
        run.error = "could not be started";
    } else if (WIFEXITED(status)) {
        run.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status) && ended) {
        run.error = "ended by signal " + std::to_string(WTERMSIG(status));
    }
    return run;
}

std::string RealSystemServices::ToolFolder() const {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

bool RealSystemServices::IsExecutable(const std::string& path, std::string& why) const {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        why = "not a regular file";
        return false;
    }
    if (::access(path.c_str(), X_OK) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        why = std::string("not executable (mode ") + mode + ")";
        return false;
    }
    return true;
}

bool RealSystemServices::SetKeyDefault(const std::string&, const std::string&, std::string& error) {
    error = "there is no registry on this system";
    return false;
}

bool RealSystemServices::DeleteKey(const std::string&, std::string& error) {
    error = "there is no registry on this system";
    return false;
}

RegistryEntry RealSystemServices::ReadKey(const std::string&) const {
    return {};
}

std::vector<std::string> RealSystemServices::SubkeysOf(const std::string&) const {
    return {};
}

std::vector<RegistryValue> RealSystemServices::ValuesOf(const std::string&) const {
    return {};
}

}  // namespace browser_extensions::registration
