#include <gtest/gtest.h>

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
        StreamCase{
            "NegativeLengthConsumesNoBody", LengthOnly(-1) + Frame("{\"a\":1}"), {"{\"a\":1}"}},
        StreamCase{"MostNegativeLength", LengthOnly(INT32_MIN) + Frame("x"), {"x"}},
        StreamCase{"ShortBodyIsHandledAsReceived", LengthOnly(10) + "123456", {"123456"}},
        StreamCase{
            "NulEndsTheText", Frame(std::string("ab\0cd", 5)) + Frame("next"), {"ab", "next"}},
        StreamCase{"BinaryBytesPassUnchanged",
                   Frame("a\r\nb\x1A"
                         "c"),
                   {"a\r\nb\x1A"
                    "c"}},
        StreamCase{"TwoFramesInOneWrite", Frame("one") + Frame("two"), {"one", "two"}},
        StreamCase{"HostileLengthIsDiscarded", LengthOnly(0x7FFFFFFF) + "0123456789", {}},
        StreamCase{"LargeButPlausibleLengthShortBody", LengthOnly(0x0FFFFFFF) + "tiny", {"tiny"}}),
    [](const ::testing::TestParamInfo<StreamCase>& info) { return info.param.name; });

TEST(ReadLoop, BufferFollowsArrivingBytesNotTheAnnouncedLength) {
    MemoryInput input(LengthOnly(0x0FFFFFFF) + "tiny");
    ReadLoopHarness harness;
    harness.Dispatched(input);
    EXPECT_LE(input.LargestRequest(), 64u * 1024u);
}

TEST(ReadLoop, MultiMebibyteBodyArrivesWhole) {
    const std::string body(5 * 1024 * 1024 + 3, 'q');
    MemoryInput input(Frame(body) + Frame("after"));
    ReadLoopHarness harness;
    const std::vector<std::string> texts = harness.Dispatched(input);
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], body);
    EXPECT_EQ(texts[1], "after");
}

// A discarded frame is consumed whole, so the next frame is read in step; the bytes come from a
// generator to keep the test's own memory small.
TEST(ReadLoop, DiscardedFrameKeepsTheStreamInStep) {
    const uint32_t hugeLength = CReadLoop::kDiscardThreshold;
    const std::string head = LengthOnly(static_cast<int32_t>(hugeLength));
    const std::string tail = Frame("after");
    const uint64_t total = head.size() + uint64_t{hugeLength} + tail.size();
    uint64_t position = 0;
    auto reader = [&](char* buffer, size_t count) {
        size_t n = 0;
        while (n < count && position < total) {
            if (position < head.size()) {
                buffer[n] = head[position];
            } else if (position < head.size() + hugeLength) {
                buffer[n] = 'z';
            } else {
                buffer[n] = tail[position - head.size() - hugeLength];
            }
            ++n;
            ++position;
        }
        return n;
    };
    testing_support::DebugCapture debug;
    CMessageHandler handler([](const std::wstring&, const std::wstring&) {});
    CReadLoop loop(reader, handler, nullptr);
    loop.Run();
    const std::vector<std::string> lines = debug.Lines();

    // The discard line, then the trace of "after" (and the dispatcher's lines about a text that is
    // not JSON).
    ASSERT_GE(lines.size(), 2u);
    EXPECT_NE(lines[0].find("268435456"), std::string::npos);
    EXPECT_EQ(lines[1], kTracePrefix + "after");
}

}  // namespace
}  // namespace browser_extensions
