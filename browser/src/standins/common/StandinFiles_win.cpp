#include <windows.h>

#include <cstdlib>
#include <mutex>

#include "StandinFiles.h"
#include "platform/TextEncoding.h"

namespace standins {
namespace {

const wchar_t* WideEnvironment(const char* name) {
    const std::wstring wideName = browser_extensions::Utf8ToWide(name);
    const wchar_t* value = _wgetenv(wideName.c_str());
    return (value == nullptr || *value == L'\0') ? nullptr : value;
}

}  // namespace

std::optional<std::string> EnvironmentText(const char* name) {
    const wchar_t* value = WideEnvironment(name);
    if (value == nullptr) {
        return std::nullopt;
    }
    return browser_extensions::WideToUtf8(value);
}

std::optional<std::string> ReadFileNamedBy(const char* name) {
    const wchar_t* path = WideEnvironment(name);
    if (path == nullptr) {
        return std::nullopt;
    }
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return std::nullopt;
    }
    std::string content;
    char chunk[256];
    DWORD count = 0;
    BOOL ok = FALSE;
    while ((ok = ReadFile(file, chunk, sizeof(chunk), &count, nullptr)) && count > 0) {
        content.append(chunk, count);
    }
    CloseHandle(file);
    if (!ok) {
        return std::nullopt;
    }
    return content;
}

void AppendToFileNamedBy(const char* name, const std::string& line) {
    const wchar_t* path = WideEnvironment(name);
    if (path == nullptr) {
        return;
    }
    // Wine emulates append-only access by writing at the size it last saw, so two threads that
    // append at once overwrite each other's line: the agent's threads take turns here.
    static std::mutex appending;
    const std::lock_guard<std::mutex> turn(appending);
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

}  // namespace standins
