#include "HostFrames.h"

#include <vector>

#include "FrameReader.h"

namespace browser_extensions::talk {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kBodyKeepLimit = 16u * 1024 * 1024;

}  // namespace

void HostFrames::Run() {
    FrameReader reader(kBodyKeepLimit);
    std::vector<char> buffer(kReadChunk);
    while (const std::size_t got =
               host_.Read(HostProcess::Stream::Output, buffer.data(), buffer.size())) {
        for (auto& frame : reader.Feed(buffer.data(), got)) {
            OnFrame(FrameCheck::Check(std::move(frame)));
        }
    }
    if (auto partial = reader.Finish()) {
        OnFrame(FrameCheck::Check(std::move(*partial)));
    }
    tally_.Ended(Tally::Stream::Output);
}

void HostFrames::OnFrame(const CheckedFrame& frame) {
    report_.Frame(frame);
    tally_.FrameJudged(frame.raw.index, frame.verdict == Verdict::Ok, frame.problem);
}

}  // namespace browser_extensions::talk
