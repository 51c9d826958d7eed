// The read loop over an in-memory input, with the real handler and payload handlers, and the
// recording fake agent in place of the agent library. The monitor thread is never started.
//
// The first input byte chooses how the rest becomes the byte stream: when even, the rest is the
// stream itself (lengths and all); when odd, the rest is split at each '\n' and every part is sent
// as one frame, so that mutations of the message texts keep the framing intact.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "FakeAgent.h"
#include "handler/CMessageHandler.h"
#include "host/CReadLoop.h"
#include "platform/DebugOutput.h"
#include "protect/ProtectedString.h"
#include "support/FuzzData.h"

using browser_extensions::CMessageHandler;
using browser_extensions::CReadLoop;
using fuzz_support::Require;

namespace {

size_t g_tracedMessages = 0;

void CountTraceLine(const std::string& line) {
    static const char kTrace[] = "Process Message and Message Type:";
    if (line.compare(0, sizeof kTrace - 1, kTrace) == 0) {
        ++g_tracedMessages;
    }
}

std::string Framed(const std::string& body) {
    const int32_t length = static_cast<int32_t>(body.size());
    std::string frame(sizeof length, '\0');
    std::memcpy(&frame[0], &length, sizeof length);
    return frame + body;
}

// Frames each '\n'-separated part; counts the parts the loop must hand on (empty frames are
// skipped by design).
std::string FramedLines(const std::string& text, size_t& nonEmpty) {
    std::string stream;
    nonEmpty = 0;
    size_t start = 0;
    for (;;) {
        const size_t end = std::min(text.find('\n', start), text.size());
        const std::string part = text.substr(start, end - start);
        nonEmpty += part.empty() ? 0 : 1;
        stream += Framed(part);
        if (end == text.size()) {
            return stream;
        }
        start = end + 1;
    }
}

// fread's contract over a string: short counts only at the end.
class StringInput {
  public:
    explicit StringInput(const std::string& bytes) : m_bytes(bytes) {}
    size_t Read(char* buffer, size_t count) {
        const size_t n = std::min(count, m_bytes.size() - m_position);
        std::memcpy(buffer, m_bytes.data() + m_position, n);
        m_position += n;
        return n;
    }

  private:
    const std::string& m_bytes;
    size_t m_position = 0;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    browser_extensions::platform::SetDebugSinkForTesting(CountTraceLine);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string rest = fuzz_support::BytesOf(data + 1, size - 1);
    const bool framedLines = (data[0] & 1) != 0;
    size_t expectedMessages = 0;
    const std::string stream = framedLines ? FramedLines(rest, expectedMessages) : rest;

    std::vector<std::wstring> sent;
    size_t relayed = 0;
    g_tracedMessages = 0;
    {
        CMessageHandler handler(
            [&sent](const std::wstring&, const std::wstring& text) { sent.push_back(text); });
        StringInput input(stream);
        CReadLoop loop([&input](char* buffer, size_t count) { return input.Read(buffer, count); },
                       handler, [&relayed](const std::wstring&) { ++relayed; });
        loop.Run();

        Require(relayed <= g_tracedMessages, "only handled messages are relayed");
        if (framedLines) {
            Require(g_tracedMessages == expectedMessages, "every non-empty frame is handled once");
        }

        // The agent may answer through the reply functions it kept, after the input has ended.
        const std::wstring reply = browser_extensions::ProtectString(L"{\"reply\":\"x\"}");
        size_t replies = 0;
        for (const fake_agent::Call& call : fake_agent::TakeCalls()) {
            if (call.reply) {
                call.reply(std::wstring(), reply);
                ++replies;
            }
        }
        Require(sent.size() == replies, "each reply reaches the sender once");
        for (const std::wstring& text : sent) {
            Require(text == reply, "a reply reaches the sender unchanged");
        }
    }
    return 0;
}
