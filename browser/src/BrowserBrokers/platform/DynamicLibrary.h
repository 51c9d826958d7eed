#pragma once

#include <cstdint>
#include <string>

namespace browser_extensions::platform {

// Libraries loaded at run time. A bare name is looked up in the executable's own folder only
// (never in the current folder or on PATH): on Windows with LoadLibraryExW and a full path, the
// library's own dependencies coming from that folder and the system folder; elsewhere a bare
// Windows name such as "Name.dll" means "libName.so" there. Loaded libraries are never released.

using LibraryHandle = void*;
// The generic function pointer type; cast to the entry point's real type before calling.
using LibraryProc = void (*)();

// Error codes as Windows reports them, also where the platform's own loader has none.
constexpr uint32_t kModuleNotFound = 126;
constexpr uint32_t kProcNotFound = 127;

// Null on failure, with `error` set to the reason.
LibraryHandle LoadDynamicLibrary(const std::wstring& name, uint32_t& error);

// `name` is the export's 8-bit name. Null on failure, with `error` set to the reason.
LibraryProc FindLibraryProc(LibraryHandle library, const char* name, uint32_t& error);

// Takes the current folder out of the search for every library loaded from now on, by any module
// of the process (on Windows, SetDllDirectoryW(L"")). Elsewhere the search never held it.
void RemoveCurrentFolderFromLibrarySearch();

}  // namespace browser_extensions::platform
