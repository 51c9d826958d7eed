#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "bridge/CBridgeLoader.h"
#include "bridge/CBridgeState.h"
#include "bridge/CXPathRelay.h"
#include "platform/DebugOutput.h"
#include "platform/DynamicLibrary.h"
#include "platform/TextEncoding.h"
#include "support/DebugCapture.h"

namespace browser_extensions {
namespace {

// These tests load the real stand-in bridge from the folder the test program runs in.

struct Echoes {
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<std::pair<std::wstring, std::wstring>> received;
};
Echoes& TheEchoes() {
    static Echoes* echoes = new Echoes();  // the bridge may call back while the process exits
    return *echoes;
}

void CollectEcho(const std::wstring& first, const std::wstring& text) {
    Echoes& echoes = TheEchoes();
    std::lock_guard<std::mutex> lock(echoes.mutex);
    echoes.received.emplace_back(first, text);
    echoes.arrived.notify_all();
}

std::vector<std::pair<std::wstring, std::wstring>> WaitForEchoes(size_t count) {
    Echoes& echoes = TheEchoes();
    std::unique_lock<std::mutex> lock(echoes.mutex);
    echoes.arrived.wait_for(lock, std::chrono::seconds(10),
                            [&] { return echoes.received.size() >= count; });
    return echoes.received;
}

void SetJournal(const std::filesystem::path& path) {
#ifdef _WIN32
    _wputenv_s(L"HALVERN_JOURNAL", path.wstring().c_str());
#else
    setenv("HALVERN_JOURNAL", path.string().c_str(), 1);
#endif
}

std::vector<std::string> ReadLines(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) {
        lines.push_back(line);
    }
    return lines;
}

// The value argument of a journalled send: the digits before the closing "]}".
std::string SentValue(const std::string& line) {
    const size_t end = line.size() >= 2 ? line.size() - 2 : 0;
    size_t begin = end;
    while (begin > 0 && line[begin - 1] >= '0' && line[begin - 1] <= '9') {
        --begin;
    }
    return begin < end ? line.substr(begin, end - begin) : std::string("?");
}

class StandInBridgeTest : public testing::Test {
  protected:
    testing_support::DebugCapture m_debug;
};

TEST_F(StandInBridgeTest, MissingLibraryIsReportedOnceWithNotFound) {
    CBridgeState state;
    CBridgeLoader(state, CollectEcho, L"HalvernAbsent.dll").Run();
    EXPECT_EQ(m_debug.Lines(), std::vector<std::string>{"Halvern LoadLibrary failed: 126"});
    EXPECT_FALSE(state.IsReady());
}

TEST_F(StandInBridgeTest, MissingExportIsNotFound) {
    uint32_t error = 0;
    platform::LibraryHandle library = platform::LoadDynamicLibrary(L"Halvern.dll", error);
    ASSERT_NE(library, nullptr) << "error " << error;
    EXPECT_NE(platform::FindLibraryProc(library, "SendMessageToKestrova", error), nullptr);
    EXPECT_EQ(platform::FindLibraryProc(library, "NoSuchExport", error), nullptr);
    EXPECT_EQ(error, platform::kProcNotFound);
}

TEST_F(StandInBridgeTest, RelayedMessagesAreJournalledAndEchoed) {
    const std::filesystem::path journal =
        std::filesystem::temp_directory_path() /
        ("halvern-journal-" +
         std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
    SetJournal(journal);

    CBridgeState state;
    CBridgeLoader(state, CollectEcho).Run();
    ASSERT_TRUE(state.IsReady()) << testing::PrintToString(m_debug.Lines());
    const size_t before = WaitForEchoes(0).size();

    const std::vector<std::string> bodies = {
        "{\"payload\":{\"x\":\"caf\xC3\xA9 \xF0\x9F\x98\x80\"},\"tabID\":\"1\",\"type\":\"XPath\"}",
        "{\"type\":\"XPath\"}"};
    for (const std::string& body : bodies) {
        const CXPathRelay relay(state);
        relay(Utf8ToWide(body));
    }

    const auto echoes = WaitForEchoes(before + bodies.size());
    ASSERT_EQ(echoes.size(), before + bodies.size());
    for (size_t i = 0; i < bodies.size(); ++i) {
        EXPECT_EQ(echoes[before + i].first, L"");
        EXPECT_EQ(WideToUtf8(echoes[before + i].second), bodies[i]);
    }

    // The record starts at 1 and grows by one per message, so a fresh process journals 1 and 2.
    const std::vector<std::string> lines = ReadLines(journal);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "{\"call\":\"GetInstance\",\"args\":[]}");
    EXPECT_EQ(lines[1], "{\"call\":\"CreateThreadBroker\",\"args\":[\"Quenlow\",\"Quenlow\"]}");
    const std::string firstValue = SentValue(lines[2]);
    EXPECT_EQ(lines[2],
              "{\"call\":\"SendMessageToKestrova\",\"args\":[\"{\\\"payload\\\":{\\\"x\\\":"
              "\\\"caf\xC3\xA9 \xF0\x9F\x98\x80\\\"},\\\"tabID\\\":\\\"1\\\",\\\"type\\\":"
              "\\\"XPath\\\"}\"," +
                  firstValue + "]}");
    EXPECT_EQ(lines[3],
              "{\"call\":\"SendMessageToKestrova\",\"args\":[\"{\\\"type\\\":\\\"XPath\\\"}\"," +
                  std::to_string(std::stoull(firstValue) + 1) + "]}");
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 1) {
        EXPECT_EQ(firstValue, "1");
    }
    std::error_code ignored;
    std::filesystem::remove(journal, ignored);
}

TEST_F(StandInBridgeTest, ConcurrentSendersAreEachEchoedOnce) {
    CBridgeState state;
    CBridgeLoader(state, CollectEcho).Run();
    ASSERT_TRUE(state.IsReady());
    const size_t before = WaitForEchoes(0).size();

    constexpr int kThreads = 4;
    constexpr int kPerThread = 50;
    std::vector<std::thread> senders;
    for (int t = 0; t < kThreads; ++t) {
        senders.emplace_back([&state, t] {
            for (int i = 0; i < kPerThread; ++i) {
                state.Send(L"c" + std::to_wstring(t * kPerThread + i),
                           std::chrono::milliseconds(0));
            }
        });
    }
    for (std::thread& sender : senders) {
        sender.join();
    }

    const auto echoes = WaitForEchoes(before + kThreads * kPerThread);
    ASSERT_EQ(echoes.size(), before + kThreads * kPerThread);
    std::set<std::wstring> texts;
    for (size_t i = before; i < echoes.size(); ++i) {
        texts.insert(echoes[i].second);
    }
    EXPECT_EQ(texts.size(), static_cast<size_t>(kThreads * kPerThread));
}

}  // namespace
}  // namespace browser_extensions
