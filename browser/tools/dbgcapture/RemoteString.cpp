#include "RemoteString.h"

#include <algorithm>

namespace browser_extensions::dbgcapture {
namespace {

constexpr size_t kPageSize = 4096;
constexpr size_t kChunkSize = 64 * 1024;

// A read that crosses into an unmapped page fails as a whole, so on failure the part up to the
// next page boundary is tried on its own.
size_t ReadAsMuchAsPossible(const MemoryReader& read, std::uint64_t address, char* buffer,
                            size_t size) {
    const size_t copied = read(address, buffer, size);
    if (copied > 0) {
        return std::min(copied, size);
    }
    const size_t toPageEnd = kPageSize - static_cast<size_t>(address % kPageSize);
    if (toPageEnd >= size) {
        return 0;
    }
    return std::min(read(address, buffer, toPageEnd), toPageEnd);
}

// Index of the first all-zero unit at or after `from` (a unit boundary), or npos.
size_t FindTerminator(const std::string& bytes, size_t from, size_t unitSize) {
    for (size_t at = from; at + unitSize <= bytes.size(); at += unitSize) {
        if (std::all_of(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                        bytes.begin() + static_cast<std::ptrdiff_t>(at + unitSize),
                        [](char c) { return c == '\0'; })) {
            return at;
        }
    }
    return std::string::npos;
}

}  // namespace

std::string ReadTerminatedUnits(const MemoryReader& read, std::uint64_t address, size_t unitSize,
                                size_t reportedUnits, size_t maxUnits) {
    std::string bytes;
    if (unitSize == 0) {
        return bytes;
    }
    // One unit more than kept, so a string of exactly maxUnits still shows its terminator.
    const size_t limit = (maxUnits + 1) * unitSize;
    const size_t hinted = std::min(reportedUnits * unitSize, limit);
    while (bytes.size() < limit) {
        size_t want = bytes.size() < hinted ? hinted - bytes.size() : kChunkSize;
        want = std::min(want, limit - bytes.size());
        const size_t scanFrom = bytes.size();
        bytes.resize(scanFrom + want);
        size_t got = ReadAsMuchAsPossible(read, address + scanFrom, &bytes[scanFrom], want);
        got -= got % unitSize;
        bytes.resize(scanFrom + got);
        const size_t terminator = FindTerminator(bytes, scanFrom, unitSize);
        if (terminator != std::string::npos) {
            bytes.resize(terminator);
            return bytes;
        }
        if (got == 0) {
            break;
        }
    }
    bytes.resize(std::min(bytes.size(), maxUnits * unitSize));
    return bytes;
}

}  // namespace browser_extensions::dbgcapture
