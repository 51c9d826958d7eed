#include "protect/CWipingByteBuffer.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "platform/DataProtection.h"

namespace browser_extensions {
namespace {

unsigned char* AllocateFromHeap(size_t capacity) {
    return new unsigned char[capacity];
}

void ReleaseToHeap(unsigned char* data, size_t /*capacity*/) {
    delete[] data;
}

const CWipingByteBuffer::Allocator kHeapAllocator{AllocateFromHeap, ReleaseToHeap};

std::atomic<const CWipingByteBuffer::Allocator*> g_allocator{&kHeapAllocator};

}  // namespace

void CWipingByteBuffer::SetAllocatorForTesting(const Allocator* allocator) {
    g_allocator.store(allocator != nullptr ? allocator : &kHeapAllocator);
}

CWipingByteBuffer::~CWipingByteBuffer() {
    WipeAndRelease();
}

void CWipingByteBuffer::Reserve(size_t capacity) {
    if (capacity > m_capacity) {
        GrowFor(capacity);
    }
}

void CWipingByteBuffer::PushBack(unsigned char byte) {
    Append(&byte, 1);
}

void CWipingByteBuffer::Append(const unsigned char* bytes, size_t count) {
    if (count == 0) {
        return;
    }
    if (count > m_capacity - m_size) {
        GrowFor(m_size + count);
    }
    std::memcpy(m_data + m_size, bytes, count);
    m_size += count;
}

// The old storage stays intact until the new one exists, so a failed allocation leaves the
// buffer as it was (and its destructor still wipes it).
void CWipingByteBuffer::GrowFor(size_t needed) {
    const size_t capacity = std::max(needed, m_capacity * 2);
    const Allocator* allocator = g_allocator.load();
    unsigned char* data = allocator->allocate(capacity);
    if (m_size > 0) {
        std::memcpy(data, m_data, m_size);
    }
    const size_t size = m_size;
    WipeAndRelease();
    m_data = data;
    m_size = size;
    m_capacity = capacity;
    m_allocator = allocator;
}

void CWipingByteBuffer::WipeAndRelease() {
    if (m_data == nullptr) {
        return;
    }
    platform::WipeBytes(m_data, m_capacity);
    m_allocator->release(m_data, m_capacity);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
}

}  // namespace browser_extensions
