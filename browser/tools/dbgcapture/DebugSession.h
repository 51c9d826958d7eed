#pragma once

#include <string>
#include <vector>

#include "DebugLineFile.h"
#include "UniqueHandle.h"

namespace browser_extensions::dbgcapture {

// Runs one program as its debugger: the program shares our standard handles, and every debug
// string it outputs, from any of its threads, becomes one line of the capture file.
class DebugSession {
  public:
    explicit DebugSession(DebugLineFile& lines) : lines_(lines) {}

    // Starts `program` with `arguments`; false and a system error code when it cannot be started.
    bool Start(const std::wstring& program, const std::vector<std::wstring>& arguments,
               unsigned long& error);

    // Serves debug events until the program ends and returns its exit code; false and a system
    // error code if the debug events stop coming before that.
    bool Run(unsigned long& exitCode, unsigned long& error);

  private:
    // The continue status for an exception: the loader's first breakpoint is ours to swallow,
    // everything else belongs to the program's own handlers.
    unsigned long ContinueStatusForException(const EXCEPTION_DEBUG_INFO& info);
    void CaptureDebugString(const OUTPUT_DEBUG_STRING_INFO& info);

    DebugLineFile& lines_;
    tools::UniqueHandle process_;
    bool sawInitialBreakpoint_ = false;
    bool sawInitialWow64Breakpoint_ = false;
};

}  // namespace browser_extensions::dbgcapture
