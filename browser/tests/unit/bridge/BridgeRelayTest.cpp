#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "bridge/CBridgeLoader.h"
#include "bridge/CBridgeState.h"
#include "bridge/CXPathRelay.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"
#include "support/DebugCapture.h"

namespace browser_extensions {
namespace {

// A bridge made of plain functions, as the loader finds them in a library, recording every call.
struct FakeBridge {
    uint64_t record[6] = {0, 0, 0, 0, 0, 1};
    BridgeCallback registeredCallback = nullptr;
    std::vector<std::string> calls;
    std::vector<std::pair<std::wstring, uint64_t>> sent;
    std::vector<std::pair<std::wstring, std::wstring>> brokerNames;
    bool readyWhenBrokerStarted = false;
    const CBridgeState* state = nullptr;
};
FakeBridge* g_fake = nullptr;

void* FakeGetInstance(BridgeCallback callback) {
    g_fake->calls.push_back("GetInstance");
    g_fake->registeredCallback = callback;
    return g_fake->record;
}

int FakeCreateThreadBroker(std::wstring first, std::wstring second) {
    g_fake->calls.push_back("CreateThreadBroker");
    g_fake->brokerNames.emplace_back(first, second);
    g_fake->readyWhenBrokerStarted = g_fake->state->IsReady();
    return 0;
}

int FakeSendMessageToKestrova(const wchar_t* text, uint64_t value) {
    g_fake->calls.push_back("SendMessageToKestrova");
    g_fake->sent.emplace_back(text, value);
    ++g_fake->record[5];  // as the bridge does after every message
    return 0;
}

void HostCallback(const std::wstring&, const std::wstring&) {}

template <typename Proc>
platform::LibraryProc AsProc(Proc proc) {
    return reinterpret_cast<platform::LibraryProc>(proc);
}

class BridgeRelayTest : public testing::Test {
  protected:
    BridgeRelayTest() {
        g_fake = &m_fake;
        m_fake.state = &m_state;
    }
    ~BridgeRelayTest() override { g_fake = nullptr; }

    // Loads a library that exports exactly `exports`, or fails with `loadError` when that is set.
    void Load(const std::vector<std::string>& exports, uint32_t loadError = 0) {
        static int libraryToken = 0;
        std::map<std::string, platform::LibraryProc> table = {
            {"GetInstance", AsProc(&FakeGetInstance)},
            {"CreateThreadBroker", AsProc(&FakeCreateThreadBroker)},
            {"SendMessageToKestrova", AsProc(&FakeSendMessageToKestrova)}};
        auto loader = [this, loadError](const std::wstring& name, uint32_t& error) {
            m_loadedName = name;
            error = loadError;
            return loadError != 0 ? nullptr : static_cast<platform::LibraryHandle>(&libraryToken);
        };
        auto finder = [table, exports](platform::LibraryHandle library, const char* name,
                                       uint32_t& error) -> platform::LibraryProc {
            const bool exported = std::find(exports.begin(), exports.end(), name) != exports.end();
            error = exported ? 0 : platform::kProcNotFound;
            return library == &libraryToken && exported ? table.at(name) : nullptr;
        };
        CBridgeLoader(m_state, HostCallback, CBridgeLoader::kLibraryName, loader, finder).Run();
    }

    // Without a wait: these cases settle the state before they relay, or test the drop itself.
    void RelayBody(const std::string& body) {
        const CXPathRelay relay(m_state, std::chrono::milliseconds(0));
        relay(Utf8ToWide(body));
    }

    FakeBridge m_fake;
    CBridgeState m_state;
    testing_support::DebugCapture m_debug;
    std::wstring m_loadedName;
};

const std::vector<std::string> kAllExports = {"GetInstance", "CreateThreadBroker",
                                              "SendMessageToKestrova"};

TEST_F(BridgeRelayTest, LoaderRegistersCallbackPublishesAndStartsTheBroker) {
    Load(kAllExports);
    EXPECT_EQ(m_loadedName, L"Halvern.dll");
    EXPECT_EQ(m_fake.calls, (std::vector<std::string>{"GetInstance", "CreateThreadBroker"}));
    EXPECT_EQ(m_fake.registeredCallback, &HostCallback);
    ASSERT_EQ(m_fake.brokerNames.size(), 1u);
    EXPECT_EQ(m_fake.brokerNames[0].first, L"Quenlow");
    EXPECT_EQ(m_fake.brokerNames[0].second, L"Quenlow");
    EXPECT_TRUE(m_fake.readyWhenBrokerStarted) << "a broker that never returns would block relays";
    EXPECT_TRUE(m_debug.Lines().empty());
}

TEST_F(BridgeRelayTest, RelaySendsTheWholeTextUnchangedWithAFreshValueEachTime) {
    Load(kAllExports);
    const std::vector<std::string> bodies = {
        // Non-ASCII in two, three and four UTF-8 bytes, escapes and a payload.
        "{\"payload\":{\"xpath\":\"//div[@id='caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80']\","
        "\"q\":\"\\\"\\\\\"},\"requestID\":\"7\",\"tabID\":\"3\",\"type\":\"XPath\"}",
        "{\"type\":\"XPath\"}"};
    for (const std::string& body : bodies) {
        RelayBody(body);
    }
    ASSERT_EQ(m_fake.sent.size(), 2u);
    for (size_t i = 0; i < bodies.size(); ++i) {
        EXPECT_EQ(WideToUtf8(m_fake.sent[i].first), bodies[i]);
        EXPECT_EQ(m_fake.sent[i].second, i + 1) << "the instance value must be read afresh";
    }
}

TEST_F(BridgeRelayTest, TraceHidesPasswordsButTheBridgeGetsThemUnchanged) {
    Load(kAllExports);
    const std::string body = "{\"payload\":{\"password\":\"hunter2\"},\"type\":\"XPath\"}";
    RelayBody(body);
    EXPECT_EQ(m_debug.Lines(), (std::vector<std::string>{
                                   "XPath received at Broker side",
                                   "{\"payload\":{\"password\":\"***\"},\"type\":\"XPath\"}"}));
    ASSERT_EQ(m_fake.sent.size(), 1u);
    EXPECT_EQ(WideToUtf8(m_fake.sent[0].first), body);
}

TEST_F(BridgeRelayTest, RelayWhileTheBridgeIsStillLoadingDropsOnceTheWaitIsOver) {
    RelayBody("{\"type\":\"XPath\"}");
    EXPECT_EQ(
        m_debug.Lines(),
        (std::vector<std::string>{"XPath received at Broker side", "{\"type\":\"XPath\"}",
                                  "XPath message dropped: the bridge was not loaded within 0 ms"}));
    EXPECT_TRUE(m_fake.calls.empty());
}

TEST_F(BridgeRelayTest, FailedLoadWritesOneLineWithTheErrorAndCallsNothing) {
    const struct {
        uint32_t error;
        const char* line;
    } cases[] = {{126, "Halvern LoadLibrary failed: 126"},
                 {193, "Halvern LoadLibrary failed: 193"},
                 {0xFFFFFFFFu, "Halvern LoadLibrary failed: 4294967295"}};
    for (const auto& c : cases) {
        m_debug.Take();
        Load(kAllExports, c.error);
        EXPECT_EQ(m_debug.Lines(), std::vector<std::string>{c.line});
    }
    m_debug.Take();
    RelayBody("{\"type\":\"XPath\"}");
    EXPECT_TRUE(m_fake.calls.empty());
    EXPECT_FALSE(m_state.IsReady());
    ASSERT_EQ(m_debug.Lines().size(), 3u);
    EXPECT_EQ(m_debug.Lines()[2], "XPath message dropped: the bridge library could not be loaded");
}

struct MissingExportCase {
    const char* name;
    std::vector<std::string> exports;
    std::vector<std::string> expectedCalls;  // after one relay
    std::vector<std::string> missingLines;
};

class MissingExportTest : public BridgeRelayTest,
                          public testing::WithParamInterface<MissingExportCase> {};

TEST_P(MissingExportTest, APartialBridgeIsNeverUsed) {
    Load(GetParam().exports);
    EXPECT_EQ(m_debug.Lines(), GetParam().missingLines);
    m_debug.Take();
    RelayBody("{\"type\":\"XPath\"}");
    EXPECT_EQ(m_fake.calls, GetParam().expectedCalls);
    EXPECT_FALSE(m_state.IsReady());
    ASSERT_EQ(m_debug.Lines().size(), 3u) << "the relay's own lines, then the message is dropped";
    EXPECT_EQ(m_debug.Lines()[2], "XPath message dropped: the bridge library lacks an entry point");
}

void PrintTo(const MissingExportCase& c, std::ostream* out) {
    *out << c.name;
}

const MissingExportCase kMissingExports[] = {
    {"NoGetInstance",
     {"CreateThreadBroker", "SendMessageToKestrova"},
     {},
     {"Halvern GetProcAddress failed for GetInstance: 127; the bridge is not used"}},
    {"NoCreateThreadBroker",
     {"GetInstance", "SendMessageToKestrova"},
     {"GetInstance"},
     {"Halvern GetProcAddress failed for CreateThreadBroker: 127; the bridge is not used"}},
    {"NoSend",
     {"GetInstance", "CreateThreadBroker"},
     {"GetInstance"},
     {"Halvern GetProcAddress failed for SendMessageToKestrova: 127; the bridge is not used"}},
    {"NoneAtAll",
     {},
     {},
     {"Halvern GetProcAddress failed for GetInstance: 127; the bridge is not used"}},
};

INSTANTIATE_TEST_SUITE_P(Cases, MissingExportTest, testing::ValuesIn(kMissingExports),
                         [](const testing::TestParamInfo<MissingExportCase>& info) {
                             return std::string(info.param.name);
                         });

void* NullInstance(BridgeCallback) {
    return nullptr;
}

TEST(BridgeStateTest, PublishesOnlyAUsableBridgeAndOnlyOnce) {
    FakeBridge fake;
    g_fake = &fake;
    CBridgeState state;
    EXPECT_FALSE(state.Publish(NullInstance(nullptr), &FakeSendMessageToKestrova));
    EXPECT_FALSE(state.Publish(fake.record, nullptr));
    EXPECT_EQ(state.Send(L"dropped", std::chrono::milliseconds(0)),
              BridgeSendOutcome::kNotLoadedInTime);

    uint64_t other[6] = {0, 0, 0, 0, 0, 99};
    EXPECT_TRUE(state.Publish(fake.record, &FakeSendMessageToKestrova));
    EXPECT_FALSE(state.Publish(other, &FakeSendMessageToKestrova));
    state.Fail(BridgeFailure::kLoadFailed);  // too late: the bridge stays ready
    EXPECT_EQ(state.Send(L"kept", std::chrono::milliseconds(0)), BridgeSendOutcome::kSent);
    ASSERT_EQ(fake.sent.size(), 1u);
    EXPECT_EQ(fake.sent[0], (std::pair<std::wstring, uint64_t>(L"kept", 1)));
    g_fake = nullptr;
}

TEST(BridgeStateTest, AWaitingSendEndsWithTheLoadersOutcomeNotWithTheBound) {
    const struct {
        const char* name;
        bool publish;
        BridgeFailure failure;
        BridgeSendOutcome outcome;
    } cases[] = {
        {"published", true, BridgeFailure::kLoadFailed, BridgeSendOutcome::kSent},
        {"load failed", false, BridgeFailure::kLoadFailed, BridgeSendOutcome::kLoadFailed},
        {"entry point missing", false, BridgeFailure::kEntryPointMissing,
         BridgeSendOutcome::kEntryPointMissing},
        {"no instance", false, BridgeFailure::kNoInstance, BridgeSendOutcome::kNoInstance},
    };
    // Far longer than the loader takes here, so a wait that missed its wake-up shows.
    const std::chrono::seconds bound(30);
    for (const auto& c : cases) {
        FakeBridge fake;
        g_fake = &fake;
        CBridgeState state;
        std::thread loader([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            if (c.publish) {
                state.Publish(fake.record, &FakeSendMessageToKestrova);
            } else {
                state.Fail(c.failure);
            }
        });
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(state.Send(L"early", bound), c.outcome) << c.name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, bound / 2) << c.name;
        loader.join();
        EXPECT_EQ(fake.sent.size(), c.publish ? 1u : 0u) << c.name;
        g_fake = nullptr;
    }
}

}  // namespace
}  // namespace browser_extensions
