#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory_resource>
#include <vector>

#include "protect/CWipingArena.h"

namespace browser_extensions {
namespace {

// Stands in for the heap under an arena: hands out blocks of zeros, so that anything else in a
// block given back is text the arena left behind.
class WatchingHeap final : public std::pmr::memory_resource {
  public:
    std::size_t allocations = 0;
    std::size_t releases = 0;
    std::size_t releasedWithData = 0;

  private:
    void* do_allocate(std::size_t bytes, std::size_t alignment) override {
        ++allocations;
        void* data = std::pmr::new_delete_resource()->allocate(bytes, alignment);
        std::memset(data, 0, bytes);
        return data;
    }
    void do_deallocate(void* data, std::size_t bytes, std::size_t alignment) override {
        ++releases;
        const auto* begin = static_cast<const unsigned char*>(data);
        if (std::any_of(begin, begin + bytes, [](unsigned char b) { return b != 0; })) {
            ++releasedWithData;
        }
        std::pmr::new_delete_resource()->deallocate(data, bytes, alignment);
    }
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override {
        return this == &other;
    }
};

struct Allocation {
    std::size_t bytes;
    std::size_t alignment;
    bool releasedAtOnce;  // given back before the message ends, as a growing container does
};

struct MessageCase {
    const char* name;
    std::vector<Allocation> allocations;  // of one message, each filled with text
};

std::vector<Allocation> Repeated(std::size_t count, Allocation allocation) {
    return std::vector<Allocation>(count, allocation);
}

std::vector<MessageCase> MessageCases() {
    constexpr std::size_t kLarge = CWipingArena::kLargeAllocation;
    return {
        {"small ones, every alignment",
         {{3, 1, false}, {10, 2, false}, {12, 4, false}, {40, 8, false}, {48, 16, false}}},
        {"small ones given back", {{40, 8, true}, {24, 8, true}}},
        {"more than the block holds", Repeated(600, {100, 8, false})},
        {"larger than the block, still small", {{kLarge - 1, 8, false}, {kLarge - 1, 8, false}}},
        {"large, given back at once", {{kLarge, 8, true}, {3 * kLarge, 16, true}}},
        {"large, held to the end", {{kLarge, 8, false}, {24, 8, false}}},
    };
}

// Makes the allocations of one message, writing text into each, and gives back those that are
// given back at once.
void RunMessage(CWipingArena& arena, const MessageCase& c) {
    for (const Allocation& allocation : c.allocations) {
        void* data = arena.allocate(allocation.bytes, allocation.alignment);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(data) % allocation.alignment, 0u)
            << allocation.bytes;
        std::memset(data, 0xA5, allocation.bytes);
        if (allocation.releasedAtOnce) {
            arena.deallocate(data, allocation.bytes, allocation.alignment);
        }
    }
}

TEST(WipingArena, GivesNothingBackUnwiped) {
    for (const MessageCase& c : MessageCases()) {
        SCOPED_TRACE(c.name);
        WatchingHeap heap;
        {
            CWipingArena arena(&heap);
            RunMessage(arena, c);
            arena.Reset();
            RunMessage(arena, c);
        }
        EXPECT_EQ(heap.releases, heap.allocations);
        EXPECT_EQ(heap.releasedWithData, 0u);
    }
}

TEST(WipingArena, KeepsItsBlockAndWipesItAtEveryReset) {
    WatchingHeap heap;
    CWipingArena arena(&heap);
    for (int message = 0; message < 3; ++message) {
        auto* text = static_cast<unsigned char*>(arena.allocate(64, 8));
        std::memset(text, 0xA5, 64);
        arena.Reset();
        EXPECT_TRUE(std::all_of(text, text + 64, [](unsigned char b) { return b == 0; }));
        EXPECT_EQ(heap.allocations, 1u) << message;
        EXPECT_EQ(heap.releases, 0u) << message;
    }
}

}  // namespace
}  // namespace browser_extensions
