// quenlow-dbgcapture <output-file> <program> [arguments...]
//
// Runs <program> as its debugger and appends each debug string it outputs to <output-file>, one
// UTF-8 line each. The program shares our stdin, stdout and stderr; we never write to stdout, so
// whatever the program writes there reaches our caller unchanged. Exits with the program's exit
// code, 127 when it cannot be started, 2 on a usage or output-file error.

#include <cstdio>
#include <string>
#include <vector>

#include "DebugLineFile.h"
#include "DebugSession.h"
#include "platform/TextEncoding.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kDebugLoopFailed = 126;
constexpr int kCannotStart = 127;

int Fail(int exitCode, const std::wstring& message) {
    const std::string text =
        browser_extensions::WideToUtf8(L"quenlow-dbgcapture: " + message) + "\n";
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
    return exitCode;
}

std::wstring ErrorText(unsigned long error) {
    return L" (error " + std::to_wstring(error) + L")";
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
    using browser_extensions::dbgcapture::DebugLineFile;
    using browser_extensions::dbgcapture::DebugSession;

    if (argc < 3) {
        return Fail(kUsageError,
                    L"usage: quenlow-dbgcapture <output-file> <program> [arguments...]");
    }
    const std::wstring outputPath = argv[1];
    const std::wstring program = argv[2];
    const std::vector<std::wstring> arguments(argv + 3, argv + argc);

    unsigned long error = 0;
    DebugLineFile lines;
    if (!lines.Open(outputPath, error)) {
        return Fail(kUsageError, L"cannot open " + outputPath + ErrorText(error));
    }
    DebugSession session(lines);
    if (!session.Start(program, arguments, error)) {
        return Fail(kCannotStart, L"cannot start " + program + ErrorText(error));
    }
    unsigned long exitCode = 0;
    if (!session.Run(exitCode, error)) {
        return Fail(kDebugLoopFailed, L"lost the debugged program" + ErrorText(error));
    }
    return static_cast<int>(exitCode);
}
