#include <windows.h>

#include "DynamicLibrary.h"

namespace browser_extensions::platform {

LibraryHandle LoadDynamicLibrary(const std::wstring& name, uint32_t& error) {
    HMODULE module = LoadLibraryW(name.c_str());
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

}  // namespace browser_extensions::platform
