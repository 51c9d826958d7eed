#include "protect/CWipingArena.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <new>

#include "platform/DataProtection.h"

namespace browser_extensions {
namespace {

// The block holds an ordinary message's tree many times over.
constexpr std::size_t kBlockSize = 16 * 1024;
// Further chunks double from the block's size up to this.
constexpr std::size_t kLargestChunk = 1024 * 1024;
constexpr std::size_t kChunkAlignment = alignof(std::max_align_t);

// The first address at or after `address` with the alignment (a power of two).
std::byte* AlignUp(std::byte* address, std::size_t alignment) {
    const auto value = reinterpret_cast<std::uintptr_t>(address);
    return address + (((value + alignment - 1) & ~(alignment - 1)) - value);
}

}  // namespace

CWipingArena::CWipingArena(std::pmr::memory_resource* upstream) : m_upstream(upstream) {}

CWipingArena::~CWipingArena() {
    Reset();
    Release(m_block);
}

void CWipingArena::Reset() noexcept {
    Settle();
    Wipe(m_block);
    for (Chunk& chunk : m_overflow) {
        Release(chunk);
    }
    m_overflow.clear();
    for (Chunk& chunk : m_large) {
        Release(chunk);
    }
    m_large.clear();
    StartCarving();
}

void* CWipingArena::do_allocate(std::size_t bytes, std::size_t alignment) {
    if (bytes < kLargeAllocation && m_next != nullptr) {
        std::byte* const start = AlignUp(m_next, alignment);
        if (start <= m_limit && static_cast<std::size_t>(m_limit - start) >= bytes) {
            m_next = start + bytes;
            return start;
        }
    }
    return bytes < kLargeAllocation ? AllocateInNewChunk(bytes, alignment)
                                    : AllocateLarge(bytes, alignment);
}

void CWipingArena::do_deallocate(void* data, std::size_t bytes, std::size_t /*alignment*/) {
    if (bytes < kLargeAllocation) {
        return;  // a small allocation stays until the reset
    }
    const auto* address = static_cast<const std::byte*>(data);
    const auto large = std::find_if(m_large.begin(), m_large.end(), [address](const Chunk& chunk) {
        return address >= chunk.data && address < chunk.data + chunk.size;
    });
    if (large != m_large.end()) {
        Release(*large);
        m_large.erase(large);
    }
}

bool CWipingArena::do_is_equal(const std::pmr::memory_resource& other) const noexcept {
    return this == &other;
}

void* CWipingArena::AllocateInNewChunk(std::size_t bytes, std::size_t alignment) {
    std::size_t size = kBlockSize;
    if (m_block.data != nullptr) {
        m_overflow.reserve(m_overflow.size() + 1);  // so that nothing after the allocation can fail
        size = std::min(Carved().size * 2, kLargestChunk);
    }
    Chunk chunk = MakeChunk(std::max(size, bytes + alignment));
    if (m_block.data == nullptr) {
        m_block = chunk;
    } else {
        Settle();
        m_overflow.push_back(chunk);
    }
    StartCarving();
    return do_allocate(bytes, alignment);
}

void* CWipingArena::AllocateLarge(std::size_t bytes, std::size_t alignment) {
    if (bytes > std::numeric_limits<std::size_t>::max() - alignment) {
        throw std::bad_alloc();
    }
    m_large.reserve(m_large.size() + 1);  // so that nothing after the allocation can fail
    Chunk chunk = MakeChunk(bytes + alignment);
    std::byte* const start = AlignUp(chunk.data, alignment);
    chunk.used = static_cast<std::size_t>(start - chunk.data) + bytes;
    m_large.push_back(chunk);
    return start;
}

CWipingArena::Chunk CWipingArena::MakeChunk(std::size_t size) {
    Chunk chunk;
    // Left as it comes: only the bytes handed out are ever touched.
    chunk.data = static_cast<std::byte*>(m_upstream->allocate(size, kChunkAlignment));
    chunk.size = size;
    return chunk;
}

void CWipingArena::Release(Chunk& chunk) noexcept {
    if (chunk.data != nullptr) {
        Wipe(chunk);
        m_upstream->deallocate(chunk.data, chunk.size, kChunkAlignment);
        chunk = Chunk();
    }
}

void CWipingArena::StartCarving() noexcept {
    Chunk& chunk = Carved();
    m_next = chunk.data + chunk.used;
    m_limit = chunk.data + chunk.size;
}

void CWipingArena::Settle() noexcept {
    if (m_next != nullptr) {
        Chunk& chunk = Carved();
        chunk.used = static_cast<std::size_t>(m_next - chunk.data);
    }
}

void CWipingArena::Wipe(Chunk& chunk) noexcept {
    if (chunk.used > 0) {
        platform::WipeBytes(chunk.data, chunk.used);
        chunk.used = 0;
    }
}

}  // namespace browser_extensions
