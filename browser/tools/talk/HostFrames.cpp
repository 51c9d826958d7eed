#include "HostFrames.h"

#include <vector>

#include "FrameReader.h"

namespace browser_extensions::talk {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kBodyKeepLimit = 16u * 1024 * 1024;

void Judge(RawFrame raw, Report& report, Tally& tally) {
    const CheckedFrame frame = FrameCheck::Check(std::move(raw));
    report.Frame(frame);
    tally.FrameJudged(frame.raw.index, frame.verdict == Verdict::Ok, frame.problem);
}

}  // namespace

void ReadHostFrames(HostProcess& host, Report& report, Tally& tally) {
    FrameReader reader(kBodyKeepLimit);
    std::vector<char> buffer(kReadChunk);
    while (const std::size_t got =
               host.Read(HostProcess::Stream::Output, buffer.data(), buffer.size())) {
        for (RawFrame& frame : reader.Feed(buffer.data(), got)) {
            Judge(std::move(frame), report, tally);
        }
    }
    if (std::optional<RawFrame> partial = reader.Finish()) {
        Judge(std::move(*partial), report, tally);
    }
    tally.Ended(Tally::Stream::Output);
}

}  // namespace browser_extensions::talk
