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
    out_.tally.Ended(Tally::Stream::Output);
}

void HostFrames::OnFrame(const CheckedFrame& frame) {
    out_.printer.Line(out_.presentation.FrameText(frame));
    out_.transcript.Write("frame", out_.presentation.FrameEvent(frame));
    out_.tally.FrameJudged(frame.raw.index, frame.verdict == Verdict::Ok, frame.problem);
}

}  // namespace browser_extensions::talk
