// The JSON work of the host's hot paths: reading one inbound envelope, writing the log-level
// update.

#include <benchmark/benchmark.h>

#include <string>

#include "json/Reader.h"
#include "json/Value.h"
#include "messages/CTabMessage.h"
#include "messages/CUpdateLogLevelMessage.h"

namespace {

using namespace browser_extensions;

// A typical "documentComplete" envelope, with the extra members a browser extension tends to add
// (about 290 characters).
const std::wstring kEnvelope =
    LR"({"tabID":"12","type":"documentComplete","requestID":"","frameID":"0","windowID":"1",)"
    LR"("payload":{"url":"https://example.com/login?next=%2Fhome&lang=en-GB&session=8b1f0c2a",)"
    LR"("bTopLvlDoc":"true","title":"Sign in - Example","referrer":"https://example.com/",)"
    LR"("timeStamp":1700000000123,"frameDepth":0}})";

void ReadEnvelope(benchmark::State& state) {
    for (auto _ : state) {
        CTabMessage message;
        message.FromJsonString(kEnvelope);
        benchmark::DoNotOptimize(message.m_payload.get());
    }
    state.SetLabel(std::to_string(kEnvelope.size()) + " chars");
}
BENCHMARK(ReadEnvelope);

void ReadEnvelopeValueOnly(benchmark::State& state) {
    for (auto _ : state) {
        json::Value value;
        benchmark::DoNotOptimize(json::Read(kEnvelope, value));
    }
}
BENCHMARK(ReadEnvelopeValueOnly);

void WriteLogLevelUpdate(benchmark::State& state) {
    CUpdateLogLevelMessage message;
    message.m_level = 3;
    for (auto _ : state) {
        std::wstring text = message.ToJsonString();
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(WriteLogLevelUpdate);

}  // namespace
