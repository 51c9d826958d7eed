#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "HandlerTestSupport.h"
#include "handler/CMessageHandler.h"
#include "protect/ProtectedString.h"

namespace {

using browser_extensions::CMessageHandler;
using handler_test::DebugCapture;
using handler_test::RecordingSender;
using testing::ElementsAreArray;

constexpr std::chrono::milliseconds kShortPeriod{5};

size_t CountPolls(const std::vector<fake_agent::Call>& calls) {
    return static_cast<size_t>(std::count_if(calls.begin(), calls.end(), [](const auto& call) {
        return call.function == "GetLogLevel";
    }));
}

// Runs the monitor until it has polled `polls` times, then destroys the handler.
void RunMonitor(const RecordingSender::Sender& sender, size_t polls) {
    CMessageHandler handler(sender, kShortPeriod);
    handler.Start();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (CountPolls(fake_agent::PeekCalls()) < polls &&
           std::chrono::steady_clock::now() < deadline) {
        fake_agent::WaitForCalls(fake_agent::PeekCalls().size() + 1,
                                 std::chrono::milliseconds(100));
    }
}

struct MonitorCase {
    const char* name;
    std::vector<int> levels;  // one per poll; the agent repeats the last one afterwards
    std::vector<std::string> updates;
};

class Monitoring : public testing::TestWithParam<MonitorCase> {};

TEST_P(Monitoring, AnnouncesEachChangeOnce) {
    const MonitorCase& c = GetParam();
    fake_agent::Reset();
    fake_agent::ScriptLogLevels(c.levels);
    DebugCapture debug;
    RecordingSender sender;

    RunMonitor(sender.Function(), c.levels.size() + 1);

    std::vector<std::string> sent;
    for (const auto& [first, second] : sender.Calls()) {
        EXPECT_EQ(first, L"");
        EXPECT_NE(second, browser_extensions::UnprotectString(second)) << "sent unprotected";
        sent.push_back(browser_extensions::WideToUtf8(browser_extensions::UnprotectString(second)));
    }
    EXPECT_THAT(sent, ElementsAreArray(c.updates));

    std::vector<std::string> logged;
    for (const fake_agent::Call& call : fake_agent::TakeCalls()) {
        if (call.function == "WriteLog") {
            EXPECT_EQ(call.level, 3);
            logged.push_back(browser_extensions::WideToUtf8(call.strings.at(0)));
        }
    }
    EXPECT_THAT(logged, ElementsAreArray(c.updates));

    // "Log level: N" on every poll, changed or not.
    const std::vector<std::string> lines = debug.Lines();
    ASSERT_GE(lines.size(), c.levels.size());
    for (size_t i = 0; i < lines.size(); ++i) {
        const int level = c.levels[std::min(i, c.levels.size() - 1)];
        EXPECT_EQ(lines[i], "Log level: " + std::to_string(level));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Levels, Monitoring,
    testing::Values(MonitorCase{"one_at_start_sends_nothing", {1}, {}},
                    MonitorCase{"four_four_two",
                                {4, 4, 2},
                                {R"({"level":4,"type":"updateLogLevel"})",
                                 R"({"level":2,"type":"updateLogLevel"})"}},
                    MonitorCase{"back_to_one_is_announced",
                                {1, 5, 1},
                                {R"({"level":5,"type":"updateLogLevel"})",
                                 R"({"level":1,"type":"updateLogLevel"})"}},
                    MonitorCase{"negative", {-3}, {R"({"level":-3,"type":"updateLogLevel"})"}},
                    MonitorCase{"zero", {0}, {R"({"level":0,"type":"updateLogLevel"})"}}),
    [](const testing::TestParamInfo<MonitorCase>& info) { return info.param.name; });

TEST(Monitor, DestructionWakesALongSleepAtOnce) {
    fake_agent::Reset();
    std::chrono::steady_clock::time_point destroying;
    {
        CMessageHandler handler([](const std::wstring&, const std::wstring&) {});  // five minutes
        handler.Start();
        ASSERT_TRUE(fake_agent::WaitForCalls(1, std::chrono::seconds(10)));  // the first poll
        destroying = std::chrono::steady_clock::now();
    }
    // Sitting the sleep out would take five minutes; the margin is for a loaded machine.
    EXPECT_LT(std::chrono::steady_clock::now() - destroying, std::chrono::seconds(30));
    EXPECT_EQ(CountPolls(fake_agent::TakeCalls()), 1u);
}

TEST(Monitor, NothingRunsBeforeStart) {
    fake_agent::Reset();
    {
        CMessageHandler handler([](const std::wstring&, const std::wstring&) {}, kShortPeriod);
    }
    EXPECT_TRUE(fake_agent::TakeCalls().empty());
}

}  // namespace
