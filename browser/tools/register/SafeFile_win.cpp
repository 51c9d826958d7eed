#include "RealSystemServices.h"

#include <windows.h>

#include "SystemMessage.h"

#include "platform/TextEncoding.h"

namespace browser_extensions::registration {
// The real services' writes and removals: no junction or link in the way is followed, and a
// link at the final name is replaced, not written through.
namespace {

constexpr int kAttempts = 16;

bool IsSeparator(wchar_t c) {
    return c == L'\\' || c == L'/';
}

// The length of the part that names a drive ("C:\") or a share ("\\server\share\").
std::size_t RootLength(const std::wstring& path) {
    if (path.size() >= 3 && path[1] == L':' && IsSeparator(path[2])) {
        return 3;
    }
    if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        std::size_t end = path.find_first_of(L"\\/", 2);
        end = end == std::wstring::npos ? path.size() : path.find_first_of(L"\\/", end + 1);
        return end == std::wstring::npos ? path.size() : end + 1;
    }
    return 0;
}

// A junction or a link in the way could lead the write anywhere.
bool IsPlainFolder(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

bool MakeFolders(const std::wstring& folder, std::string& error) {
    for (std::size_t end = RootLength(folder); end <= folder.size(); ++end) {
        if (end != folder.size() && !IsSeparator(folder[end])) {
            continue;
        }
        const std::wstring reached = folder.substr(0, end);
        if (reached.size() <= RootLength(folder)) {
            continue;
        }
        if (!::CreateDirectoryW(reached.c_str(), nullptr) &&
            ::GetLastError() != ERROR_ALREADY_EXISTS) {
            error = "cannot create " + WideToUtf8(reached) + ": " + SystemMessage(::GetLastError());
            return false;
        }
        if (!IsPlainFolder(reached)) {
            error = WideToUtf8(reached) + " is not a folder, or a link or junction";
            return false;
        }
    }
    return true;
}

std::wstring FolderPart(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? std::wstring() : path.substr(0, separator);
}

std::wstring NamePart(const std::wstring& path) {
    const std::size_t separator = path.find_last_of(L"\\/");
    return separator == std::wstring::npos ? path : path.substr(separator + 1);
}

HANDLE CreateTemporary(const std::wstring& folder, const std::wstring& name,
                       std::wstring& temporary) {
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        temporary =
            folder + L"\\" + Utf8ToWide(RealSystemServices::TemporaryName(WideToUtf8(name)));
        // CREATE_NEW fails on any existing name, a link's included.
        const HANDLE file =
            ::CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (file != INVALID_HANDLE_VALUE || ::GetLastError() != ERROR_FILE_EXISTS) {
            return file;
        }
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

bool RealSystemServices::WriteFile(const std::string& path, const std::string& text,
                                   std::string& error) {
    const std::wstring target = Utf8ToWide(path);
    const std::wstring folder = FolderPart(target);
    if (folder.empty() || NamePart(target).empty()) {
        error = "not a file path: " + path;
        return false;
    }
    if (!MakeFolders(folder, error)) {
        return false;
    }
    std::wstring temporary;
    const HANDLE file = CreateTemporary(folder, NamePart(target), temporary);
    if (file == INVALID_HANDLE_VALUE) {
        error = "cannot create a temporary file in " + WideToUtf8(folder) + ": " +
                SystemMessage(::GetLastError());
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
        written == text.size();
    const DWORD writeError = ::GetLastError();
    ::CloseHandle(file);
    if (!ok) {
        error = "cannot write " + path + ": " + SystemMessage(writeError);
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    // A browser reading the manifest never sees half of it; a link at the name is replaced.
    if (!::MoveFileExW(temporary.c_str(), target.c_str(),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        error = "cannot replace " + path + ": " + SystemMessage(::GetLastError());
        ::DeleteFileW(temporary.c_str());
        return false;
    }
    return true;
}

bool RealSystemServices::Remove(const std::string& path, std::string& error) {
    const std::wstring target = Utf8ToWide(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD cause = ::GetLastError();
        if (cause == ERROR_FILE_NOT_FOUND || cause == ERROR_PATH_NOT_FOUND) {
            return true;
        }
        error = "cannot remove " + path + ": " + SystemMessage(cause);
        return false;
    }
    if (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) {
        error = "left " + path + " alone: not a regular file";
        return false;
    }
    if (!::DeleteFileW(target.c_str()) && ::GetLastError() != ERROR_FILE_NOT_FOUND) {
        error = "cannot remove " + path + ": " + SystemMessage(::GetLastError());
        return false;
    }
    return true;
}

}  // namespace browser_extensions::registration
