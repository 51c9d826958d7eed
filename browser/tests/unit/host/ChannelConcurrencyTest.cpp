#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "ChannelFile.h"
#include "host/ChannelWriter.h"
#include "platform/ChannelStream.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"
#include "protect/ProtectedString.h"

namespace browser_extensions {
namespace {

using testing_support::ChannelFile;
using testing_support::SplitFrames;

constexpr int kThreads = 8;
constexpr int kFramesPerThread = 10000;
// Every tenth frame of a thread goes through the protected entry: unprotecting costs far more
// than writing (milliseconds a call under Wine), and the lock is what this test is about.
constexpr int kProtectedEvery = 10;

// Every frame names its sender and sequence number (-1 for the protected ones, which are made
// once per thread), and carries characters that need escaping, so that a torn or mixed frame
// cannot pass for a whole one.
std::wstring MessageText(int thread, int sequence) {
    return L"{\"thread\":" + std::to_wstring(thread) + L",\"seq\":" + std::to_wstring(sequence) +
           L"}\n\\ \x20AC";
}

bool SentProtected(int sequence) {
    return sequence % kProtectedEvery == 0;
}

std::string ExpectedBody(int thread, int sequence) {
    const SecretString body =
        QuoteForChannel(WideToUtf8(MessageText(thread, SentProtected(sequence) ? -1 : sequence)));
    return std::string(body.data(), body.size());
}

// Reads the sender back out of a body, or returns -1.
int SenderOf(const std::string& body) {
    int thread = -1;
    return std::sscanf(body.c_str(), "\"{\\\"thread\\\":%d", &thread) == 1 ? thread : -1;
}

TEST(ChannelConcurrency, FramesFromManyThreadsAndBothEntriesArriveWholeAndInOrder) {
    ChannelFile channel;
    ASSERT_NE(channel.Stream(), nullptr);
    std::vector<std::wstring> protectedTexts;
    for (int t = 0; t < kThreads; ++t) {
        protectedTexts.push_back(ProtectString(MessageText(t, -1)));
    }
    SetChannelStreamForTesting(channel.Stream());

    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([t, &protectedTexts] {
            for (int n = 0; n < kFramesPerThread; ++n) {
                if (SentProtected(n)) {
                    SendProtectedText(L"", protectedTexts[t]);
                } else {
                    SendPlainText(L"", MessageText(t, n));
                }
            }
        });
    }
    for (std::thread& sender : senders) {
        sender.join();
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start);
    SetChannelStreamForTesting(nullptr);
    RecordProperty("elapsed_ms", static_cast<int>(elapsed.count()));
    std::printf("%d threads x %d frames: %lld ms\n", kThreads, kFramesPerThread,
                static_cast<long long>(elapsed.count()));

    size_t trailing = 0;
    const std::vector<std::string> bodies = SplitFrames(channel.Contents(), trailing);
    EXPECT_EQ(trailing, 0u);
    ASSERT_EQ(bodies.size(), static_cast<size_t>(kThreads * kFramesPerThread));
    std::vector<int> nextSequence(kThreads, 0);
    for (const std::string& body : bodies) {
        const int thread = SenderOf(body);
        ASSERT_TRUE(thread >= 0 && thread < kThreads) << body;
        ASSERT_EQ(body, ExpectedBody(thread, nextSequence[thread]));
        ++nextSequence[thread];
    }
}

// Replaces the process's descriptors 1 and 2 with files for the life of the object, so a test
// can watch where output goes; restores them after.
class RedirectedStandardStreams {
  public:
    RedirectedStandardStreams(FILE* out, FILE* err) {
        std::fflush(stdout);
        std::fflush(stderr);
        m_savedOut = ::dup(1);
        m_savedErr = ::dup(2);
        ::dup2(::fileno(out), 1);
        ::dup2(::fileno(err), 2);
    }
    ~RedirectedStandardStreams() {
        std::fflush(stdout);
        std::fflush(stderr);
        ::dup2(m_savedOut, 1);
        ::dup2(m_savedErr, 2);
        ::close(m_savedOut);
        ::close(m_savedErr);
    }

  private:
    int m_savedOut;
    int m_savedErr;
};

TEST(ChannelConcurrency, StrayOutputOfOtherCodeNeverReachesTheChannel) {
    ChannelFile originalOut;
    ChannelFile originalErr;
    ASSERT_NE(originalOut.Stream(), nullptr);
    ASSERT_NE(originalErr.Stream(), nullptr);
    bool opened = false;
    {
        RedirectedStandardStreams redirected(originalOut.Stream(), originalErr.Stream());
        FILE* channel = platform::DetachChannelFromStandardOutput();
        opened = channel != nullptr;
        if (opened) {
            SetChannelStreamForTesting(channel);
            std::thread chatty([] {
                for (int i = 0; i < 200; ++i) {
                    std::printf("stray printf %d\n", i);
                    std::fflush(stdout);
                    const ssize_t written = ::write(1, "stray write\n", 12);
                    (void)written;
                }
            });
            for (int i = 0; i < 200; ++i) {
                SendPlainText(L"", L"frame " + std::to_wstring(i));
            }
            chatty.join();
            SetChannelStreamForTesting(nullptr);
            std::fclose(channel);
        }
    }
    ASSERT_TRUE(opened);

    size_t trailing = 0;
    const std::vector<std::string> bodies = SplitFrames(originalOut.Contents(), trailing);
    EXPECT_EQ(trailing, 0u);
    ASSERT_EQ(bodies.size(), 200u);
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(bodies[i], "\"frame " + std::to_string(i) + "\"");
    }
    const std::string stray = originalErr.Contents();
    EXPECT_NE(stray.find("stray printf 199"), std::string::npos);
    EXPECT_NE(stray.find("stray write"), std::string::npos);
}

}  // namespace
}  // namespace browser_extensions
