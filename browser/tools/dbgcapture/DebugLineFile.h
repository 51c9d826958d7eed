#pragma once

#include <string>

#include "UniqueHandle.h"

namespace browser_extensions::dbgcapture {

// The file the captured lines go to: opened for appending, one UTF-8 line per debug string, each
// handed to the system in one write, so a reader sees every line as soon as it is captured.
class DebugLineFile {
  public:
    // Opens (creating if needed) `path` for appending; false and a system error code on failure.
    bool Open(const std::wstring& path, unsigned long& error);

    // Appends `utf8Text` and "\n". Text after an embedded NUL is dropped, as the sender's C string
    // ends there too.
    void WriteLine(const std::string& utf8Text);

  private:
    tools::UniqueHandle file_;
};

}  // namespace browser_extensions::dbgcapture
