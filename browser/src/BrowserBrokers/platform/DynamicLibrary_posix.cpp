#include <dlfcn.h>
#include <unistd.h>

#include <cstring>
#include <vector>

#include "DynamicLibrary.h"
#include "TextEncoding.h"

namespace browser_extensions::platform {
namespace {

bool EndsWithDll(const std::string& name) {
    static const char kSuffix[] = ".dll";
    const size_t suffixLength = sizeof(kSuffix) - 1;
    if (name.size() < suffixLength) {
        return false;
    }
    for (size_t i = 0; i < suffixLength; ++i) {
        char c = name[name.size() - suffixLength + i];
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
        if (c != kSuffix[i]) {
            return false;
        }
    }
    return true;
}

// "Name.dll" -> "libName.so"; any other name is kept.
std::string SharedObjectName(const std::string& windowsName) {
    if (!EndsWithDll(windowsName)) {
        return windowsName;
    }
    return "lib" + windowsName.substr(0, windowsName.size() - 4) + ".so";
}

// The folder of the running executable, with its trailing slash; empty when unknown.
std::string ExecutableFolder() {
    std::vector<char> buffer(4096);
    for (;;) {
        const ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
        if (length < 0) {
            return std::string();
        }
        if (static_cast<size_t>(length) < buffer.size()) {
            const std::string path(buffer.data(), static_cast<size_t>(length));
            const size_t slash = path.rfind('/');
            return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
        }
        buffer.resize(buffer.size() * 2);
    }
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
