#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace browser_extensions {

// Where the wiping allocator's storage comes from: the heap, unless a test watches it. `release`
// is always handed storage that has been wiped already.
struct WipingHeap {
    unsigned char* (*allocate)(std::size_t bytes);
    void (*release)(unsigned char* data, std::size_t bytes);
};

// Lets tests watch every allocation; null restores the heap. Not for use while secrets exist on
// other threads.
void SetWipingHeapForTesting(const WipingHeap* heap);
void* AllocateWiping(std::size_t bytes);
// Overwrites the storage with zeros, then gives it back.
void ReleaseWiping(void* data, std::size_t bytes) noexcept;

// The default allocator, except that storage is overwritten before it is given back, so a string
// or a buffer built with it leaves no copy behind when it grows or ends.
template <typename T>
class CWipingAllocator {
  public:
    using value_type = T;

    CWipingAllocator() = default;
    template <typename U>
    CWipingAllocator(const CWipingAllocator<U>& /*other*/) noexcept {}

    T* allocate(std::size_t count) { return static_cast<T*>(AllocateWiping(count * sizeof(T))); }
    void deallocate(T* data, std::size_t count) noexcept { ReleaseWiping(data, count * sizeof(T)); }

    template <typename U>
    bool operator==(const CWipingAllocator<U>& /*other*/) const noexcept {
        return true;
    }
    template <typename U>
    bool operator!=(const CWipingAllocator<U>& /*other*/) const noexcept {
        return false;
    }
};

// The owners of text that held a message outside its arena, and of that text's byte forms: a
// frame's body, a reply on its way out, the writer's output, the codec's bytes.
using SecretString = std::basic_string<char, std::char_traits<char>, CWipingAllocator<char>>;
using SecretWString =
    std::basic_string<wchar_t, std::char_traits<wchar_t>, CWipingAllocator<wchar_t>>;
using SecretBytes = std::vector<unsigned char, CWipingAllocator<unsigned char>>;

}  // namespace browser_extensions
