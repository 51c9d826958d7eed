#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "handler/CMessageHandler.h"
#include "host/CReadLoop.h"
#include "platform/DebugOutput.h"
#include "support/ByteStream.h"
#include "support/DebugCapture.h"

namespace browser_extensions {
namespace {

using testing_support::Frame;
using testing_support::LengthOnly;
using testing_support::MemoryInput;

const std::string kTracePrefix = "Process Message and Message Type:Message: ";

// A body whose trace shows it whole: the trace hides every value but the few the host reads.
std::string Tab(const std::string& id) {
    return "{\"tabID\":\"" + id + "\"}";
}

// Runs the loop over `input` and returns the texts the handler was given, as its trace shows.
class ReadLoopHarness {
  public:
    std::vector<std::string> Dispatched(MemoryInput& input) {
        CMessageHandler handler([](const std::wstring&, const std::wstring&) {});
        CReadLoop loop([&input](char* buffer, size_t count) { return input.Read(buffer, count); },
                       handler, nullptr);
        loop.Run();
        std::vector<std::string> texts;
        for (const std::string& line : m_debug.Lines()) {
            if (line.rfind(kTracePrefix, 0) == 0) {
                texts.push_back(line.substr(kTracePrefix.size()));
            }
        }
        return texts;
    }

    std::vector<std::string> Lines() const { return m_debug.Lines(); }

  private:
    testing_support::DebugCapture m_debug;
};

struct StreamCase {
    const char* name;
    std::string input;
    std::vector<std::string> dispatched;
};

void PrintTo(const StreamCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadLoopStream : public ::testing::TestWithParam<StreamCase> {};

TEST_P(ReadLoopStream, DispatchesExactlyTheCompleteBodies) {
    MemoryInput input(GetParam().input);
    ReadLoopHarness harness;
    EXPECT_EQ(harness.Dispatched(input), GetParam().dispatched);
}

INSTANTIATE_TEST_SUITE_P(
    Edges, ReadLoopStream,
    ::testing::Values(
        StreamCase{"EmptyInput", "", {}}, StreamCase{"OneLengthByte", std::string(1, '\x05'), {}},
        StreamCase{"TwoLengthBytes", std::string(2, '\x05'), {}},
        StreamCase{"ThreeLengthBytes", std::string(3, '\x05'), {}},
        StreamCase{"ZeroLengthIsSkipped", LengthOnly(0) + Frame("{}"), {"{}"}},
        StreamCase{"NegativeLengthConsumesNoBody", LengthOnly(-1) + Frame(Tab("a")), {Tab("a")}},
        StreamCase{"MostNegativeLength", LengthOnly(INT32_MIN) + Frame(Tab("x")), {Tab("x")}},
        StreamCase{"ShortBodyIsHandledAsReceived", LengthOnly(20) + Tab("12"), {Tab("12")}},
        StreamCase{"NulEndsTheText",
                   Frame(Tab("ab") + std::string("\0cd", 3)) + Frame(Tab("next")),
                   {Tab("ab"), Tab("next")}},
        StreamCase{"BinaryBytesPassUnchanged",
                   Frame(Tab("a\r\nb\x1A"
                             "c")),
                   {Tab("a\r\nb\x1A"
                        "c")}},
        StreamCase{
            "TwoFramesInOneWrite", Frame(Tab("one")) + Frame(Tab("two")), {Tab("one"), Tab("two")}},
        StreamCase{"HostileLengthIsDiscarded", LengthOnly(0x7FFFFFFF) + "0123456789", {}},
        StreamCase{"LargeButPlausibleLengthShortBody",
                   LengthOnly(0x0FFFFFFF) + Tab("tiny"),
                   {Tab("tiny")}}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return info.param.name; });

TEST(ReadLoop, BufferFollowsArrivingBytesNotTheAnnouncedLength) {
    MemoryInput input(LengthOnly(0x0FFFFFFF) + "tiny");
    ReadLoopHarness harness;
    harness.Dispatched(input);
    EXPECT_LE(input.LargestRequest(), 64u * 1024u);
}

TEST(ReadLoop, MultiMebibyteBodyArrivesWhole) {
    const std::string body = Tab(std::string(5 * 1024 * 1024 + 3, 'q'));
    MemoryInput input(Frame(body) + Frame(Tab("after")));
    ReadLoopHarness harness;
    const std::vector<std::string> texts = harness.Dispatched(input);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], body);
    EXPECT_EQ(texts[1], Tab("after"));
}

// A frame at the threshold is discarded whole, so the next frame is read in step; one byte
// under it is handled. The threshold is small here: the process tests send the real 256 MiB.
struct DiscardCase {
    const char* name;
    uint32_t length;
    bool discarded;
};

void PrintTo(const DiscardCase& c, std::ostream* os) {
    *os << c.name;
}

class ReadLoopDiscard : public ::testing::TestWithParam<DiscardCase> {};

constexpr uint32_t kSmallThreshold = 4096;

TEST_P(ReadLoopDiscard, FramesAtTheThresholdAreDiscardedInStep) {
    // A tab id padded to the case's length, so the trace shows the body whole.
    const std::string body = Tab(std::string(GetParam().length - Tab("").size(), 'z'));
    MemoryInput input(Frame(body) + Frame(Tab("after")));
    testing_support::DebugCapture debug;
    CMessageHandler handler([](const std::wstring&, const std::wstring&) {});
    CReadLoop loop([&input](char* buffer, size_t count) { return input.Read(buffer, count); },
                   handler, nullptr, kSmallThreshold);
    loop.Run();
    const std::vector<std::string> lines = debug.Lines();

    const std::string discardLine = "Frame of " + std::to_string(GetParam().length) +
                                    " bytes is too large; its body is discarded";
    std::vector<std::string> traced;
    for (const std::string& line : lines) {
        if (line.rfind(kTracePrefix, 0) == 0) {
            traced.push_back(line.substr(kTracePrefix.size()));
        }
    }
    if (GetParam().discarded) {
        ASSERT_FALSE(lines.empty());
        EXPECT_EQ(lines[0], discardLine);
        EXPECT_EQ(traced, std::vector<std::string>{Tab("after")});
    } else {
        EXPECT_EQ(std::count(lines.begin(), lines.end(), discardLine), 0);
        EXPECT_EQ(traced, (std::vector<std::string>{body, Tab("after")}));
    }
}

INSTANTIATE_TEST_SUITE_P(Threshold, ReadLoopDiscard,
                         ::testing::Values(DiscardCase{"OneUnder", kSmallThreshold - 1, false},
                                           DiscardCase{"AtTheThreshold", kSmallThreshold, true},
                                           DiscardCase{"Over", 3 * kSmallThreshold + 5, true}),
                         [](const ::testing::TestParamInfo<DiscardCase>& info) {
                             return info.param.name;
                         });

}  // namespace
}  // namespace browser_extensions
