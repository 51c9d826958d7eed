#include "DebugSession.h"

#include <cstring>

#include "RemoteString.h"
#include "WindowsCommandLine.h"
#include "platform/TextEncoding.h"

namespace browser_extensions::dbgcapture {
namespace {

// The first breakpoint of a 32-bit program running on 64-bit Windows.
constexpr DWORD kWow64Breakpoint = 0x4000001F;

void MakeInheritable(HANDLE handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
}

void CloseIfOpen(HANDLE handle) {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) {
        CloseHandle(handle);
    }
}

// Newer systems hand wide debug strings over unconverted only to debuggers that wait with the
// extended call; older ones lack it, so it is looked up at run time.
using WaitForDebugEventFunction = BOOL(WINAPI*)(LPDEBUG_EVENT, DWORD);

WaitForDebugEventFunction ChooseWaitFunction() {
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    if (kernel != nullptr) {
        FARPROC extended = GetProcAddress(kernel, "WaitForDebugEventEx");
        if (extended != nullptr) {
            return reinterpret_cast<WaitForDebugEventFunction>(
                reinterpret_cast<void (*)()>(extended));
        }
    }
    return &WaitForDebugEvent;
}

// Narrow debug strings are in the system's ANSI code page.
std::string AnsiToUtf8(const std::string& ansi) {
    if (ansi.empty()) {
        return std::string();
    }
    const int length = static_cast<int>(ansi.size());
    const int needed = MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, nullptr, 0);
    if (needed <= 0) {
        return std::string();
    }
    std::wstring wide(static_cast<size_t>(needed), L'\0');
    MultiByteToWideChar(CP_ACP, 0, ansi.data(), length, &wide[0], needed);
    return WideToUtf8(wide);
}

std::string WideBytesToUtf8(const std::string& bytes) {
    std::wstring wide(bytes.size() / sizeof(wchar_t), L'\0');
    std::memcpy(wide.data(), bytes.data(), wide.size() * sizeof(wchar_t));
    return WideToUtf8(wide);
}

}  // namespace

bool DebugSession::Start(const std::wstring& program, const std::vector<std::wstring>& arguments,
                         unsigned long& error) {
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // Only the standard handles are marked inheritable; the capture file is not.
    MakeInheritable(startup.hStdInput);
    MakeInheritable(startup.hStdOutput);
    MakeInheritable(startup.hStdError);

    std::wstring commandLine = tools::BuildCommandLine(program, arguments);
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, TRUE, DEBUG_ONLY_THIS_PROCESS,
                        nullptr, nullptr, &startup, &started)) {
        error = GetLastError();
        return false;
    }
    process_.reset(started.hProcess);
    CloseHandle(started.hThread);
    return true;
}

bool DebugSession::Run(unsigned long& exitCode, unsigned long& error) {
    const WaitForDebugEventFunction waitForEvent = ChooseWaitFunction();
    for (;;) {
        DEBUG_EVENT event{};
        if (!waitForEvent(&event, INFINITE)) {
            error = GetLastError();
            return false;
        }
        DWORD continueStatus = DBG_CONTINUE;
        bool exited = false;
        switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                // The process and thread handles here are the system's to close; the image file
                // handle is ours.
                CloseIfOpen(event.u.CreateProcessInfo.hFile);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                CloseIfOpen(event.u.LoadDll.hFile);
                break;
            case EXCEPTION_DEBUG_EVENT:
                continueStatus = ContinueStatusForException(event.u.Exception);
                break;
            case OUTPUT_DEBUG_STRING_EVENT:
                CaptureDebugString(event.u.DebugString);
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                exitCode = event.u.ExitProcess.dwExitCode;
                exited = true;
                break;
            default:
                break;
        }
        ContinueDebugEvent(event.dwProcessId, event.dwThreadId, continueStatus);
        if (exited) {
            return true;
        }
    }
}

unsigned long DebugSession::ContinueStatusForException(const EXCEPTION_DEBUG_INFO& info) {
    const DWORD code = info.ExceptionRecord.ExceptionCode;
    if (code == EXCEPTION_BREAKPOINT && !sawInitialBreakpoint_) {
        sawInitialBreakpoint_ = true;
        return DBG_CONTINUE;
    }
    if (code == kWow64Breakpoint && !sawInitialWow64Breakpoint_) {
        sawInitialWow64Breakpoint_ = true;
        return DBG_CONTINUE;
    }
    return DBG_EXCEPTION_NOT_HANDLED;
}

void DebugSession::CaptureDebugString(const OUTPUT_DEBUG_STRING_INFO& info) {
    const HANDLE process = process_.get();
    const MemoryReader read = [process](std::uint64_t address, void* buffer, size_t size) {
        SIZE_T copied = 0;
        if (!ReadProcessMemory(process, reinterpret_cast<LPCVOID>(static_cast<uintptr_t>(address)),
                               buffer, size, &copied)) {
            return size_t{0};
        }
        return static_cast<size_t>(copied);
    };
    const bool wide = info.fUnicode != 0;
    const std::string bytes =
        ReadTerminatedUnits(read, reinterpret_cast<uintptr_t>(info.lpDebugStringData),
                            wide ? sizeof(wchar_t) : 1, info.nDebugStringLength);
    lines_.WriteLine(wide ? WideBytesToUtf8(bytes) : AnsiToUtf8(bytes));
}

}  // namespace browser_extensions::dbgcapture
