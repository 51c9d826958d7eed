#pragma once

#include <windows.h>

#include <memory>
#include <type_traits>

namespace browser_extensions::tools {

// Closes a kernel handle; INVALID_HANDLE_VALUE, which some calls give for none, is not one.
struct HandleCloser {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) {
            ::CloseHandle(handle);
        }
    }
};

// Owns one kernel handle and closes it once.
using UniqueHandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

}  // namespace browser_extensions::tools
