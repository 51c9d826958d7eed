#include "protect/SecretText.h"

#include <atomic>
#include <new>

#include "platform/DataProtection.h"

namespace browser_extensions {
namespace {

unsigned char* AllocateFromHeap(std::size_t bytes) {
    return static_cast<unsigned char*>(::operator new(bytes));
}

void ReleaseToHeap(unsigned char* data, std::size_t /*bytes*/) {
    ::operator delete(data);
}

const WipingHeap kHeap{AllocateFromHeap, ReleaseToHeap};
std::atomic<const WipingHeap*> g_heap{&kHeap};

}  // namespace

void SetWipingHeapForTesting(const WipingHeap* heap) {
    g_heap.store(heap != nullptr ? heap : &kHeap);
}

void* AllocateWiping(std::size_t bytes) {
    return g_heap.load()->allocate(bytes);
}

void ReleaseWiping(void* data, std::size_t bytes) noexcept {
    platform::WipeBytes(data, bytes);
    g_heap.load()->release(static_cast<unsigned char*>(data), bytes);
}

}  // namespace browser_extensions
