#include <windows.h>

#include <cstdlib>

#include "Journal.h"

namespace halvern {

void AppendToJournal(const std::string& line) {
    const wchar_t* path = _wgetenv(L"HALVERN_JOURNAL");
    if (path == nullptr || *path == L'\0') {
        return;
    }
    // Append-only access: every write lands at the end, even with other writers.
    HANDLE file = CreateFileW(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::string record = line + "\n";
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace halvern
