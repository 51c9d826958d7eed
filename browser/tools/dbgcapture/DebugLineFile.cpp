#include "DebugLineFile.h"

namespace browser_extensions::dbgcapture {

bool DebugLineFile::Open(const std::wstring& path, unsigned long& error) {
    // Readers may open the file while lines are still coming; the handle is not inherited by
    // the debugged program.
    const HANDLE file =
        CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = GetLastError();
        return false;
    }
    file_.reset(file);
    return true;
}

void DebugLineFile::WriteLine(const std::string& utf8Text) {
    std::string line = utf8Text.substr(0, std::char_traits<char>::length(utf8Text.c_str()));
    line.push_back('\n');
    // WriteFile keeps no buffer of its own: the line is in the file once the call returns.
    DWORD written = 0;
    const char* data = line.data();
    DWORD remaining = static_cast<DWORD>(line.size());
    while (remaining > 0 && WriteFile(file_.get(), data, remaining, &written, nullptr) &&
           written > 0) {
        data += written;
        remaining -= written;
    }
}

}  // namespace browser_extensions::dbgcapture
