#include "host/ChannelWriter.h"
#include "support/DebugCapture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChannelFile.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"
#include "protect/ProtectedString.h"
#include "support/ByteStream.h"

namespace browser_extensions {
namespace {

using testing_support::ChannelFile;
using testing_support::Frame;

class ChannelWriter : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(m_channel.Stream(), nullptr);
        SetChannelStreamForTesting(m_channel.Stream());
    }
    void TearDown() override { SetChannelStreamForTesting(nullptr); }

    // The raw bytes on the channel since the last call.
    std::string TakeWritten() {
        const std::string all = m_channel.Contents();
        const std::string fresh = all.substr(m_consumed);
        m_consumed = all.size();
        return fresh;
    }

    std::vector<std::string> TakeFrames() {
        size_t trailing = 0;
        std::vector<std::string> bodies = testing_support::SplitFrames(TakeWritten(), trailing);
        EXPECT_EQ(trailing, 0u);
        return bodies;
    }

    ChannelFile m_channel;
    size_t m_consumed = 0;
    testing_support::DebugCapture m_debug;
};

struct FrameCase {
    const char* name;
    std::wstring text;
    std::string body;
};

std::vector<FrameCase> FrameCases() {
    return {
        {"object", L"{\"x\":1}", R"("{\"x\":1}")"},
        {"empty", L"", R"("")"},
        {"quotes", L"say \"hi\"", R"("say \"hi\"")"},
        {"backslash", L"C:\\dir", R"("C:\\dir")"},
        {"line feed", L"a\nb", R"("a\nb")"},
        {"short escapes", L"\b\f\n\r\t", R"("\b\f\n\r\t")"},
        {"other controls", L"\x01-\x1b-\x1f", R"("\u0001-\u001B-\u001F")"},
        {"no escape from 0x20 up", L" /~\x7f", "\" /~\x7f\""},
        {"non-ascii", Utf8ToWide("\xC3\xA9\xF0\x9F\x98\x80"), "\"\xC3\xA9\xF0\x9F\x98\x80\""},
        {"nul cuts", std::wstring(L"kept\0dropped", 12), R"("kept")"},
        {"leading nul", std::wstring(L"\0x", 2), R"("")"},
    };
}

TEST_F(ChannelWriter, PlainTextBecomesOneFrameWithAJsonStringBody) {
    for (const FrameCase& c : FrameCases()) {
        SCOPED_TRACE(c.name);
        SendPlainText(L"never sent", c.text);
        EXPECT_EQ(TakeWritten(), Frame(c.body));
    }
    EXPECT_TRUE(m_debug.Lines().empty());
}

TEST_F(ChannelWriter, ProtectedTextIsUnprotectedFirst) {
    for (const FrameCase& c : FrameCases()) {
        SCOPED_TRACE(c.name);
        SendProtectedText(L"never sent", ProtectString(c.text));
        EXPECT_EQ(TakeWritten(), Frame(c.body));
    }
    EXPECT_TRUE(m_debug.Lines().empty());
}

TEST_F(ChannelWriter, TextThatWasNeverProtectedPassesThroughWithOneFailureLine) {
    SendProtectedText(L"", L"{\"type\":\"basicAuthNoCredentials\"}");
    EXPECT_EQ(TakeWritten(), Frame(R"("{\"type\":\"basicAuthNoCredentials\"}")"));
    ASSERT_EQ(m_debug.Lines().size(), 1u);
    EXPECT_EQ(m_debug.Lines()[0], "UnProtectData failed. Returning input string. GLE=0xd");
}

TEST_F(ChannelWriter, BodiesAboveOneMebibyteAreDroppedAndTheChannelGoesOn) {
    const struct {
        const char* name;
        std::wstring text;
        size_t bodySize;
        bool written;
    } cases[] = {
        {"exactly the limit", std::wstring(kMaxFrameBody - 2, L'a'), kMaxFrameBody, true},
        {"one byte over", std::wstring(kMaxFrameBody - 1, L'a'), kMaxFrameBody + 1, false},
        {"over only once escaped", std::wstring(kMaxFrameBody / 2, L'"'), kMaxFrameBody + 2, false},
        {"multi-byte characters", std::wstring(kMaxFrameBody / 3, L'\x20AC'),
         kMaxFrameBody / 3 * 3 + 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        m_debug.Take();
        SendPlainText(L"", c.text);
        SendPlainText(L"", L"next");
        const std::vector<std::string> frames = TakeFrames();
        ASSERT_EQ(frames.size(), c.written ? 2u : 1u);
        EXPECT_EQ(frames.back(), R"("next")");
        if (c.written) {
            EXPECT_EQ(frames[0].size(), c.bodySize);
            EXPECT_TRUE(m_debug.Lines().empty());
        } else {
            ASSERT_EQ(m_debug.Lines().size(), 1u);
            EXPECT_EQ(m_debug.Lines()[0], "Frame of " + std::to_string(c.bodySize) +
                                              " bytes exceeds the 1048576-byte limit of the "
                                              "channel; not sent");
        }
    }
}

}  // namespace
}  // namespace browser_extensions
