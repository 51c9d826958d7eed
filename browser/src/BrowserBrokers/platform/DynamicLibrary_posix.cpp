#include <dlfcn.h>

#include <cstring>
#include <filesystem>
#include <system_error>

#include "DynamicLibrary.h"
#include "TextEncoding.h"

namespace browser_extensions::platform {
namespace {

// "Name.dll" (any case of the suffix) -> "libName.so"; any other name is kept.
std::string SharedObjectName(const std::string& windowsName) {
    const size_t stem = windowsName.size() < 4 ? 0 : windowsName.size() - 4;
    std::string suffix = windowsName.substr(stem);
    for (char& c : suffix) {
        c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    return suffix == ".dll" ? "lib" + windowsName.substr(0, stem) + ".so" : windowsName;
}

// The folder of the running executable, with its trailing slash; empty when unknown.
std::string ExecutableFolder() {
    std::error_code error;
    const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : executable.parent_path().string() + '/';
}

}  // namespace

LibraryHandle LoadDynamicLibrary(const std::wstring& name, uint32_t& error) {
    const std::string fileName = SharedObjectName(WideToUtf8(name));
    // A bare name is looked up beside the executable only, never on the system's search path.
    const std::string path =
        fileName.find('/') == std::string::npos ? ExecutableFolder() + fileName : fileName;
    void* handle = fileName.empty() ? nullptr : ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    error = handle == nullptr ? kModuleNotFound : 0;
    return handle;
}

LibraryProc FindLibraryProc(LibraryHandle library, const char* name, uint32_t& error) {
    void* symbol = library == nullptr ? nullptr : ::dlsym(library, name);
    if (symbol == nullptr) {
        error = kProcNotFound;
        return nullptr;
    }
    error = 0;
    LibraryProc proc = nullptr;
    static_assert(sizeof(proc) == sizeof(symbol), "function and object pointers differ in size");
    std::memcpy(&proc, &symbol, sizeof(proc));
    return proc;
}

void RemoveCurrentFolderFromLibrarySearch() {}

}  // namespace browser_extensions::platform
