#pragma once

#include <cstddef>
#include <memory_resource>
#include <vector>

namespace browser_extensions {

// Memory for one message at a time. Small allocations are carved one after another out of a
// block kept from message to message (and out of further chunks when it is full); giving one back
// does nothing. Reset overwrites every byte handed out since the last reset, in one pass per
// chunk, and makes the block available again. A large allocation gets a chunk of its own, wiped
// and given back as soon as it is released, so a growing container costs no more than on the
// heap. Not for several threads at once: one arena per reading thread.
class CWipingArena final : public std::pmr::memory_resource {
  public:
    // An allocation of this many bytes or more gets a chunk of its own.
    static constexpr std::size_t kLargeAllocation = 64 * 1024;

    // Chunks come from `upstream`, and go back to it wiped.
    explicit CWipingArena(std::pmr::memory_resource* upstream = std::pmr::new_delete_resource());
    ~CWipingArena() override;

    CWipingArena(const CWipingArena&) = delete;
    CWipingArena& operator=(const CWipingArena&) = delete;

    // Wipes what was handed out and takes all of it back. Whatever was made in the arena must be
    // gone (or never be used again) by then.
    void Reset() noexcept;

  private:
    struct Chunk {
        std::byte* data = nullptr;
        std::size_t size = 0;
        std::size_t used = 0;  // every byte below this may hold text
    };

    void* do_allocate(std::size_t bytes, std::size_t alignment) override;
    void do_deallocate(void* data, std::size_t bytes, std::size_t alignment) override;
    bool do_is_equal(const std::pmr::memory_resource& other) const noexcept override;

    void* AllocateInNewChunk(std::size_t bytes, std::size_t alignment);
    void* AllocateLarge(std::size_t bytes, std::size_t alignment);
    Chunk MakeChunk(std::size_t size);
    // Wipes what the chunk handed out and gives it back.
    void Release(Chunk& chunk) noexcept;
    // The chunk small allocations are carved from: the last one made.
    Chunk& Carved() noexcept { return m_overflow.empty() ? m_block : m_overflow.back(); }
    void StartCarving() noexcept;
    // Records how much of the chunk being carved was handed out.
    void Settle() noexcept;
    static void Wipe(Chunk& chunk) noexcept;

    std::pmr::memory_resource* m_upstream;
    Chunk m_block;                  // kept from message to message; made at the first allocation
    std::vector<Chunk> m_overflow;  // small allocations once the block is full
    std::vector<Chunk> m_large;     // one per large allocation still held
    std::byte* m_next = nullptr;    // the carved chunk's first free byte, if there is a chunk
    std::byte* m_limit = nullptr;   // its end
};

}  // namespace browser_extensions
