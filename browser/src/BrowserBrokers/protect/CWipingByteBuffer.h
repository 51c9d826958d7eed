#pragma once

#include <cstddef>

namespace browser_extensions {

// A growable byte buffer for secrets: whenever it gives storage back (when it grows into a new
// allocation, and when it is destroyed, also while an exception unwinds) it first overwrites
// that storage with zeros over its whole allocated size.
class CWipingByteBuffer {
  public:
    // Where storage comes from. `release` is always handed storage that has been wiped already.
    struct Allocator {
        unsigned char* (*allocate)(size_t capacity);
        void (*release)(unsigned char* data, size_t capacity);
    };

    // Lets tests watch every allocation; null restores the default heap. Not for use while
    // buffers exist on other threads.
    static void SetAllocatorForTesting(const Allocator* allocator);

    CWipingByteBuffer() = default;
    ~CWipingByteBuffer();

    CWipingByteBuffer(const CWipingByteBuffer&) = delete;
    CWipingByteBuffer& operator=(const CWipingByteBuffer&) = delete;

    void Reserve(size_t capacity);
    void PushBack(unsigned char byte);
    void Append(const unsigned char* bytes, size_t count);

    const unsigned char* Data() const { return m_data; }
    size_t Size() const { return m_size; }
    size_t Capacity() const { return m_capacity; }

  private:
    void GrowFor(size_t needed);
    void WipeAndRelease();

    unsigned char* m_data = nullptr;
    size_t m_size = 0;
    size_t m_capacity = 0;
    const Allocator* m_allocator = nullptr;  // the one that made m_data
};

}  // namespace browser_extensions
