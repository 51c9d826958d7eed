#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace browser_extensions::dbgcapture {

// Copies up to `size` bytes of the debugged process's memory at `address` into `buffer`; returns
// the number of bytes copied, 0 when the memory cannot be read.
using MemoryReader = std::function<size_t(std::uint64_t address, void* buffer, size_t size)>;

// Longest debug string kept, in code units; anything beyond is cut off.
constexpr size_t kMaxDebugStringUnits = size_t{16} * 1024 * 1024;

// Reads a zero-terminated string of `unitSize`-byte code units (1 narrow, 2 wide) and returns its
// bytes without the terminator. The length the debugged process reports is only a hint: it is
// 16 bits wide, so it wraps for long strings, and nothing vouches for it. Reading goes on until the
// terminator, unreadable memory or `maxUnits`.
std::string ReadTerminatedUnits(const MemoryReader& read, std::uint64_t address, size_t unitSize,
                                size_t reportedUnits, size_t maxUnits = kMaxDebugStringUnits);

}  // namespace browser_extensions::dbgcapture
