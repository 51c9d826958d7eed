#include "HostProcess.h"

#include <windows.h>

#include "WindowsCommandLine.h"
#include "platform/TextEncoding.h"

#include <algorithm>
#include <array>
#include <cwctype>

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

std::wstring Upper(std::wstring text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
    return text;
}

// The inherited block with the overrides applied; Windows compares names without case.
std::wstring EnvironmentBlock(const std::map<std::string, std::string>& overrides) {
    std::map<std::wstring, std::wstring> byName;
    if (wchar_t* inherited = ::GetEnvironmentStringsW()) {
        for (const wchar_t* entry = inherited; *entry != L'\0'; entry += wcslen(entry) + 1) {
            const std::wstring text = entry;
            const std::size_t equals = text.find(L'=', 1);  // "=C:=C:\x" names start with '='
            byName[Upper(text.substr(0, equals))] = text;
        }
        ::FreeEnvironmentStringsW(inherited);
    }
    for (const auto& [name, value] : overrides) {
        byName[Upper(Utf8ToWide(name))] = Utf8ToWide(name) + L"=" + Utf8ToWide(value);
    }
    std::wstring block;
    for (const auto& [key, text] : byName) {
        block += text;
        block += L'\0';
    }
    block += L'\0';
    return block;
}

void CloseIfOpen(HANDLE& handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        ::CloseHandle(handle);
    }
    handle = nullptr;
}

// A pipe whose child end is inheritable and whose parent end is not.
bool MakePipe(HANDLE& read, HANDLE& write, bool childReads) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    if (!::CreatePipe(&read, &write, &inherit, 0)) {
        return false;
    }
    return ::SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0) != 0;
}

class WinHostProcess : public HostProcess {
  public:
    // Our ends of the host's stdin, stdout and stderr, by stream number.
    WinHostProcess(PROCESS_INFORMATION info, std::array<HANDLE, 3> pipes)
        : info_(info), pipes_(pipes) {}

    ~WinHostProcess() override {
        for (HANDLE* handle :
             {&pipes_[0], &pipes_[1], &pipes_[2], &info_.hThread, &info_.hProcess}) {
            CloseIfOpen(*handle);
        }
    }

    long Id() const override { return static_cast<long>(info_.dwProcessId); }

    void CloseInput() override { CloseIfOpen(pipes_[0]); }

    std::size_t Read(Stream stream, char* buffer, std::size_t capacity) override {
        return ReadSome(pipes_[stream == Stream::Output ? 1 : 2], buffer, capacity);
    }

    std::optional<ExitStatus> WaitForExit(std::chrono::milliseconds limit) override {
        if (::WaitForSingleObject(info_.hProcess, static_cast<DWORD>(limit.count())) !=
            WAIT_OBJECT_0) {
            return std::nullopt;
        }
        DWORD code = 0;
        ::GetExitCodeProcess(info_.hProcess, &code);
        ExitStatus status;
        status.code = static_cast<long>(code);
        status.killed = killed_;
        return status;
    }

    void Kill() override {
        if (::WaitForSingleObject(info_.hProcess, 0) != WAIT_OBJECT_0) {
            killed_ = true;
            ::TerminateProcess(info_.hProcess, 1);
        }
    }

  private:
    std::size_t WriteSome(const char* bytes, std::size_t size) override {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 20));
        return ::WriteFile(pipes_[0], bytes, chunk, &written, nullptr) ? written : 0;
    }

    static std::size_t ReadSome(HANDLE handle, char* buffer, std::size_t capacity) {
        DWORD got = 0;
        const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(capacity, 1u << 20));
        if (!::ReadFile(handle, buffer, wanted, &got, nullptr)) {
            return 0;  // ERROR_BROKEN_PIPE: every writer has gone
        }
        return got;
    }

    PROCESS_INFORMATION info_;
    std::array<HANDLE, 3> pipes_;
    bool killed_ = false;
};

}  // namespace

std::unique_ptr<HostProcess> HostProcess::Start(const LaunchSpec& launch, std::string& error) {
    HANDLE inRead = nullptr, inWrite = nullptr, outRead = nullptr, outWrite = nullptr;
    HANDLE errRead = nullptr, errWrite = nullptr;
    auto closeAll = [&] {
        for (HANDLE* h : {&inRead, &inWrite, &outRead, &outWrite, &errRead, &errWrite}) {
            CloseIfOpen(*h);
        }
    };
    if (!MakePipe(inRead, inWrite, true) || !MakePipe(outRead, outWrite, false) ||
        !MakePipe(errRead, errWrite, false)) {
        error = LastErrorText("cannot create pipes");
        closeAll();
        return nullptr;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = inRead;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;

    std::wstring commandLine = CommandLine(launch);
    std::wstring environment = EnvironmentBlock(launch.environment);
    const std::wstring program = Utf8ToWide(launch.program);
    const std::wstring directory = Utf8ToWide(launch.workingDirectory);
    PROCESS_INFORMATION info{};
    if (!::CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                          CREATE_UNICODE_ENVIRONMENT, environment.data(),
                          directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
        error = LastErrorText(("cannot start " + launch.program).c_str());
        closeAll();
        return nullptr;
    }
    CloseIfOpen(inRead);
    CloseIfOpen(outWrite);
    CloseIfOpen(errWrite);
    return std::make_unique<WinHostProcess>(info, std::array<HANDLE, 3>{inWrite, outRead, errRead});
}

}  // namespace browser_extensions::talk
