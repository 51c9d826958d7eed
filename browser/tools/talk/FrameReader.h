#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace browser_extensions::talk {

// One frame as it came from the host: a 4-byte native-endian length, then the body.
struct RawFrame {
    std::size_t index = 0;        // 1 for the first frame
    std::string header;           // the length bytes that arrived (4, or fewer at the end)
    std::uint64_t announced = 0;  // the length they give
    std::uint64_t received = 0;   // body bytes that arrived
    std::string body;             // the body, or its first bytes when it is huge
    bool complete = false;        // false when the output ended inside the frame
};

// Splits the host's output into frames as the bytes arrive, in any chunking. A huge announced
// length never allocates more than `keepLimit` bytes: the rest of the body is counted, not kept.
class FrameReader {
  public:
    explicit FrameReader(std::size_t keepLimit);

    std::vector<RawFrame> Feed(const char* data, std::size_t size);
    // The frame the output ended in, if it ended inside one.
    std::optional<RawFrame> Finish();

  private:
    void StartFrame(std::size_t index);

    std::size_t keepLimit_;
    RawFrame current_;
};

}  // namespace browser_extensions::talk
