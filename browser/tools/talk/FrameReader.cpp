#include "FrameReader.h"

#include <algorithm>
#include <cstring>

namespace browser_extensions::talk {

namespace {
constexpr std::size_t kHeaderSize = 4;
}

FrameReader::FrameReader(std::size_t keepLimit) : keepLimit_(keepLimit) {
    StartFrame(1);
}

void FrameReader::StartFrame(std::size_t index) {
    current_ = RawFrame{};
    current_.index = index;
}

std::vector<RawFrame> FrameReader::Feed(const char* data, std::size_t size) {
    std::vector<RawFrame> done;
    while (size > 0) {
        if (current_.header.size() < kHeaderSize) {
            const std::size_t take = std::min(size, kHeaderSize - current_.header.size());
            current_.header.append(data, take);
            data += take;
            size -= take;
            if (current_.header.size() == kHeaderSize) {
                std::uint32_t length = 0;
                std::memcpy(&length, current_.header.data(), sizeof length);
                current_.announced = length;
            }
        } else {
            const std::uint64_t missing = current_.announced - current_.received;
            const std::size_t take =
                static_cast<std::size_t>(std::min<std::uint64_t>(missing, size));
            const std::size_t room = keepLimit_ - std::min(keepLimit_, current_.body.size());
            current_.body.append(data, std::min(take, room));
            current_.received += take;
            data += take;
            size -= take;
        }
        if (current_.header.size() == kHeaderSize && current_.received == current_.announced) {
            current_.complete = true;
            const std::size_t next = current_.index + 1;
            done.push_back(std::move(current_));
            StartFrame(next);
        }
    }
    return done;
}

std::optional<RawFrame> FrameReader::Finish() {
    if (current_.header.empty()) {
        return std::nullopt;
    }
    const std::size_t next = current_.index + 1;
    RawFrame partial = std::move(current_);
    StartFrame(next);
    return partial;
}

}  // namespace browser_extensions::talk
