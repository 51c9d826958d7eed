#include "HostProcess.h"

#include <windows.h>

#include "UniqueHandle.h"
#include "WindowsCommandLine.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <array>

namespace browser_extensions::talk {
namespace {

std::string LastErrorText(const char* what) {
    return std::string(what) + " (error " + std::to_string(::GetLastError()) + ")";
}

std::wstring CommandLine(const LaunchSpec& launch) {
    std::vector<std::wstring> arguments;
    for (const auto& argument : launch.arguments) {
        arguments.push_back(Utf8ToWide(argument));
    }
    return tools::BuildCommandLine(Utf8ToWide(launch.program), arguments);
}

// One standard stream's pipe: the child's end is inheritable, ours is not.
struct StreamPipe {
    tools::UniqueHandle ours;
    tools::UniqueHandle childs;
};

bool MakePipe(StreamPipe& pipe, bool childReads) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!::CreatePipe(&read, &write, &inherit, 0)) {
        return false;
    }
    pipe.ours.reset(childReads ? write : read);
    pipe.childs.reset(childReads ? read : write);
    return ::SetHandleInformation(pipe.ours.get(), HANDLE_FLAG_INHERIT, 0) != 0;
}

class WinHostProcess : public HostProcess {
  public:
    // Our ends of the host's stdin, stdout and stderr, by stream number.
    WinHostProcess(const PROCESS_INFORMATION& info, std::array<StreamPipe, 3>& pipes)
        : id_(info.dwProcessId), process_(info.hProcess), thread_(info.hThread) {
        for (std::size_t i = 0; i < pipes.size(); ++i) {
            pipes_[i] = std::move(pipes[i].ours);
        }
    }

    long Id() const override { return static_cast<long>(id_); }

    void CloseInput() override { pipes_[0].reset(); }

    std::size_t Read(Stream stream, char* buffer, std::size_t capacity) override {
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 20));
        const HANDLE pipe = pipes_[stream == Stream::Output ? 1 : 2].get();
        if (!::ReadFile(pipe, buffer, wanted, &got, nullptr)) {
            return 0;  // ERROR_BROKEN_PIPE: every writer has gone
        }
        return got;
    }

    std::optional<ExitStatus> WaitForExit(std::chrono::milliseconds limit) override {
        if (::WaitForSingleObject(process_.get(), static_cast<DWORD>(limit.count())) !=
            WAIT_OBJECT_0) {
            return std::nullopt;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(process_.get(), &code);
        ExitStatus status;
        status.code = static_cast<long>(code);
        status.killed = killed_;
        return status;
    }

    void Kill() override {
        if (::WaitForSingleObject(process_.get(), 0) != WAIT_OBJECT_0) {
            killed_ = true;
            ::TerminateProcess(process_.get(), 1);
        }
    }

  private:
    std::size_t WriteSome(const char* bytes, std::size_t size) override {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
        return ::WriteFile(pipes_[0].get(), bytes, chunk, &written, nullptr) ? written : 0;
    }

    DWORD id_;
    tools::UniqueHandle process_;
    tools::UniqueHandle thread_;
    std::array<tools::UniqueHandle, 3> pipes_;
    bool killed_ = false;
};

}  // namespace

std::unique_ptr<HostProcess> HostProcess::Start(const LaunchSpec& launch, std::string& error) {
    std::array<StreamPipe, 3> pipes;  // the child's ends close when this returns
    if (!MakePipe(pipes[0], true) || !MakePipe(pipes[1], false) || !MakePipe(pipes[2], false)) {
        error = LastErrorText("cannot create pipes");
        return nullptr;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = pipes[0].childs.get();
    startup.hStdOutput = pipes[1].childs.get();
    startup.hStdError = pipes[2].childs.get();

    std::wstring commandLine = CommandLine(launch);
    // The host inherits the tool's environment; Windows matches the names without case.
    for (const auto& [name, value] : launch.environment) {
        ::SetEnvironmentVariableW(Utf8ToWide(name).c_str(), Utf8ToWide(value).c_str());
    }
    const std::wstring program = Utf8ToWide(launch.program);
    const std::wstring directory = Utf8ToWide(launch.workingDirectory);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                          directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        error = LastErrorText(("cannot start " + launch.program).c_str());
        return nullptr;
    }
    return std::make_unique<WinHostProcess>(info, pipes);
}

}  // namespace browser_extensions::talk
