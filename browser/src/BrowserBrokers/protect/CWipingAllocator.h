#pragma once

#include <cstddef>
#include <memory>

#include "platform/DataProtection.h"

namespace browser_extensions {

// The default allocator, except that storage is overwritten before it is given back: a string
// built with it leaves no copy behind when it grows or ends.
template <typename T>
class CWipingAllocator {
  public:
    using value_type = T;

    CWipingAllocator() = default;
    template <typename U>
    CWipingAllocator(const CWipingAllocator<U>& /*other*/) noexcept {}

    T* allocate(std::size_t count) { return std::allocator<T>().allocate(count); }
    void deallocate(T* data, std::size_t count) noexcept {
        platform::WipeBytes(data, count * sizeof(T));
        std::allocator<T>().deallocate(data, count);
    }

    template <typename U>
    bool operator==(const CWipingAllocator<U>& /*other*/) const noexcept {
        return true;
    }
    template <typename U>
    bool operator!=(const CWipingAllocator<U>& /*other*/) const noexcept {
        return false;
    }
};

}  // namespace browser_extensions
