#include "host/HostEntry.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "bridge/CXPathRelay.h"
#include "handler/CMessageHandler.h"
#include "host/CReadLoop.h"
#include "host/ChannelWriter.h"
#include "host/ExitDeadline.h"
#include "host/StreamSetup.h"
#include "platform/DebugOutput.h"
#include "platform/DynamicLibrary.h"
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

// How long the end may take once input has ended.
constexpr std::chrono::milliseconds kExitDeadline{1500};

void ServeUntilEndOfInput() {
    CMessageHandler handler(SendProtectedText);
    // The bridge may take its time to load; nothing waits for it.
    std::thread(LoadBridge, SendPlainText).detach();
    handler.Start();

    CReadLoop loop(ReadStandardInput, handler, RelayXPath);
    loop.Run();

    ArmExitDeadline(kExitDeadline);
    platform::DebugOutputW(L"Going to exit");
}

}  // namespace

int RunHost() {
    // Before any library can be loaded at run time.
    platform::RemoveCurrentFolderFromLibrarySearch();
    platform::IgnoreBrokenPipe();
    if (!PrepareStandardStreams()) {
        platform::DebugOutputW(L"Set binary mode failed");
        return -1;
    }

    // Before anything else can write, so that nothing but frames ever reaches the browser; and
    // before any thread can start a child process that would inherit the browser's pipes.
    OpenChannel();
    platform::KeepStandardInputFromChildProcesses();
    ServeUntilEndOfInput();
    // The handler and its monitor are gone; replies of the agent or the bridge still in flight
    // must not leave half a frame behind.
    CloseChannelForExit();
    // The deadline stays armed: the libraries' static destructors and end code still run.
    return 0;
}

}  // namespace browser_extensions
