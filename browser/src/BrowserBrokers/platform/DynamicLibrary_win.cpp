#include <windows.h>

#include <vector>

#include "DynamicLibrary.h"

namespace browser_extensions::platform {
namespace {

// The folder of the running executable, with its trailing backslash; empty when unknown.
std::wstring ExecutableFolder() {
    std::vector<wchar_t> buffer(MAX_PATH);
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (length == 0) {
            return std::wstring();
        }
        if (length < buffer.size()) {
            const std::wstring path(buffer.data(), length);
            const size_t slash = path.find_last_of(L"\\/");
            return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool IsBareName(const std::wstring& name) {
    return name.find_first_of(L"\\/:") == std::wstring::npos;
}

}  // namespace

LibraryHandle LoadDynamicLibrary(const std::wstring& name, uint32_t& error) {
    // A bare name is looked up beside the executable only, never in the current folder or on PATH;
    // the library's own dependencies come from that folder and the system folder.
    const std::wstring path = IsBareName(name) ? ExecutableFolder() + name : name;
    HMODULE module = LoadLibraryExW(
        path.c_str(), nullptr, LOAD_LIBRARY_SEARCH_DLL_LOAD_DIR | LOAD_LIBRARY_SEARCH_SYSTEM32);
    error = module == nullptr ? static_cast<uint32_t>(GetLastError()) : 0;
    return module;
}

LibraryProc FindLibraryProc(LibraryHandle library, const char* name, uint32_t& error) {
    if (library == nullptr) {
        error = ERROR_INVALID_HANDLE;
        return nullptr;
    }
    FARPROC proc = GetProcAddress(static_cast<HMODULE>(library), name);
    error = proc == nullptr ? static_cast<uint32_t>(GetLastError()) : 0;
    return reinterpret_cast<LibraryProc>(proc);
}

void RemoveCurrentFolderFromLibrarySearch() {
    SetDllDirectoryW(L"");
}

}  // namespace browser_extensions::platform
