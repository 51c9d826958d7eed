// One inbound frame through the central handler, as the read loop hands it over: a
// "triggerFailed" envelope that ends in a call of the stand-in agent (which journals nothing
// unless asked to). Measured with the debugger output off, as the host normally runs, and with a
// listener that takes every line.

#include <benchmark/benchmark.h>

#include <string>

#include "handler/CMessageHandler.h"
#include "platform/DebugOutput.h"

namespace {

using namespace browser_extensions;

// About 200 bytes, like the frames of the inbound-rate benchmark.
const char kTriggerFailed[] =
    R"({"tabID":"1047","type":"triggerFailed","requestID":"","frameID":"0","windowID":"3",)"
    R"("payload":{"triggerId":"login-form-submit-7f3a9c","reason":"element not found",)"
    R"("url":"https://example.com/account/sign-in?step=2"}})";

void Dispatch(benchmark::State& state) {
    CMessageHandler handler([](const std::wstring&, const std::wstring&) {});
    for (auto _ : state) {
        std::wstring type;
        benchmark::DoNotOptimize(handler.ProcessMessage(kTriggerFailed, type));
    }
    state.SetLabel(std::to_string(sizeof kTriggerFailed - 1) + " bytes");
}

void DispatchDebugOff(benchmark::State& state) {
    platform::SetDebugSinkForTesting(nullptr);
    Dispatch(state);
}
BENCHMARK(DispatchDebugOff);

void DispatchDebugListened(benchmark::State& state) {
    platform::SetDebugSinkForTesting(
        [](const std::string& line) { benchmark::DoNotOptimize(line.data()); });
    Dispatch(state);
    platform::SetDebugSinkForTesting(nullptr);
}
BENCHMARK(DispatchDebugListened);

}  // namespace
