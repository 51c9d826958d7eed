#include "protect/SecretText.h"

#include <atomic>
#include <new>

namespace browser_extensions {
namespace {

unsigned char* AllocateFromHeap(std::size_t bytes) {
    return static_cast<unsigned char*>(::operator new(bytes));
}

void ReleaseToHeap(unsigned char* data, std::size_t /*bytes*/) {
    ::operator delete(data);
}

const WipingHeapSource kHeap{AllocateFromHeap, ReleaseToHeap};
std::atomic<const WipingHeapSource*> g_source{&kHeap};

class CWipingHeap final : public std::pmr::memory_resource {
    void* do_allocate(std::size_t bytes, std::size_t /*alignment*/) override {
        return g_source.load()->allocate(bytes);
    }
    void do_deallocate(void* data, std::size_t bytes, std::size_t /*alignment*/) override {
        platform::WipeBytes(data, bytes);
        g_source.load()->release(static_cast<unsigned char*>(data), bytes);
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }
};

}  // namespace

void SetWipingHeapSourceForTesting(const WipingHeapSource* source) {
    g_source.store(source != nullptr ? source : &kHeap);
}

std::pmr::memory_resource* WipingHeap() {
    static CWipingHeap* heap = new CWipingHeap();  // never destroyed: detached threads use it
    return heap;
}

}  // namespace browser_extensions
