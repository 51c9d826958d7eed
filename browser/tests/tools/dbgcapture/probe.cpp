// A program for the capture tool's tests. It outputs known debug strings (narrow, wide, from a
// second thread, empty, long), one per argument, raises exceptions it
// handles itself, echoes stdin to stdout byte for byte, writes to stderr and exits with 7.
// With DBGCAPTURE_PROBE_CRASH set it ends with an unhandled access violation instead.

#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <thread>

namespace {

constexpr DWORD kProbeException = 0xE0000001;
volatile LONG probeExceptionsSeen = 0;

LONG WINAPI HandleProbeException(EXCEPTION_POINTERS* pointers) {
    if (pointers->ExceptionRecord->ExceptionCode == kProbeException) {
        InterlockedIncrement(&probeExceptionsSeen);
        return EXCEPTION_CONTINUE_EXECUTION;
    }
    return EXCEPTION_CONTINUE_SEARCH;
}

// The program's own handlers only run when the debugger passes first-chance exceptions on.
void RaiseHandledExceptions() {
    PVOID handler = AddVectoredExceptionHandler(1, &HandleProbeException);
    RaiseException(kProbeException, 0, 0, nullptr);
    RemoveVectoredExceptionHandler(handler);
    OutputDebugStringW(
        (L"probe vectored handler ran " + std::to_wstring(probeExceptionsSeen) + L" time(s)")
            .c_str());
    try {
        throw std::runtime_error("thrown");
    } catch (const std::runtime_error& caught) {
        OutputDebugStringA((std::string("probe caught ") + caught.what()).c_str());
    }
}

size_t EchoStdinToStdout() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    char buffer[4096];
    size_t total = 0;
    size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof(buffer), stdin)) > 0) {
        std::fwrite(buffer, 1, got, stdout);
        total += got;
    }
    std::fflush(stdout);
    return total;
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    OutputDebugStringA("probe narrow");
    OutputDebugStringW(L"probe wide");
    for (int i = 1; i < argc; ++i) {
        OutputDebugStringW((L"probe arg " + std::to_wstring(i) + L" [" + argv[i] + L"]").c_str());
    }
    std::thread([] { OutputDebugStringW(L"probe from thread"); }).join();
    OutputDebugStringW(L"");
    // Longer than the 16-bit length the debug event reports; the wide one stays below the 32767
    // characters that Wine passes on.
    OutputDebugStringA((std::string(70000, 'n') + "end").c_str());
    OutputDebugStringW((std::wstring(30000, L'w') + L"end").c_str());
    RaiseHandledExceptions();

    const size_t echoed = EchoStdinToStdout();
    OutputDebugStringW((L"probe echoed " + std::to_wstring(echoed) + L" bytes").c_str());
    std::fputs("probe stderr\n", stderr);
    std::fflush(stderr);

    if (std::getenv("DBGCAPTURE_PROBE_CRASH") != nullptr) {
        OutputDebugStringA("probe crashing");
        RaiseException(EXCEPTION_ACCESS_VIOLATION, EXCEPTION_NONCONTINUABLE, 0, nullptr);
    }
    OutputDebugStringA("probe done");
    return 7;
}
