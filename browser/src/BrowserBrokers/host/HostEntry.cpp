#include "host/HostEntry.h"

#include <cstdio>

#include "handler/CMessageHandler.h"
#include "host/CReadLoop.h"
#include "host/StreamSetup.h"
#include "platform/DebugOutput.h"
#include "platform/ProcessStreams.h"

namespace browser_extensions {
namespace {

size_t ReadStandardInput(char* buffer, size_t count) {
    return std::fread(buffer, 1, count, stdin);
}

bool PrepareStandardStreams() {
    int result = SetBinaryUnbuffered(stdin);
    if (result == 0) {
        result = SetBinaryUnbuffered(stdout);
    }
    return result == 0;
}

}  // namespace

int RunHost() {
    platform::IgnoreBrokenPipe();
    if (!PrepareStandardStreams()) {
        platform::DebugOutputW(L"Set binary mode failed");
        return -1;
    }

    CMessageHandler handler([](const std::wstring&, const std::wstring&) {});

    CReadLoop loop(ReadStandardInput, handler, nullptr);
    loop.Run();

    platform::DebugOutputW(L"Going to exit");
    return 0;
}

}  // namespace browser_extensions
