// The JSON work of the host's hot paths: reading one inbound envelope, writing the log-level
// update.

#include <benchmark/benchmark.h>

#include <boost/json/parse.hpp>
#include <string>

#include "json/Reader.h"
#include "json/Value.h"
#include "messages/CTabMessage.h"
#include "messages/CUpdateLogLevelMessage.h"
#include "platform/TextEncoding.h"
#include "protect/CWipingArena.h"

namespace {

using namespace browser_extensions;

// A typical "documentComplete" envelope, with the extra members a browser extension tends to add
// (about 290 characters).
const std::wstring kEnvelope =
    LR"({"tabID":"12","type":"documentComplete","requestID":"","frameID":"0","windowID":"1",)"
    LR"("payload":{"url":"https://example.com/login?next=%2Fhome&lang=en-GB&session=8b1f0c2a",)"
    LR"("bTopLvlDoc":"true","title":"Sign in - Example","referrer":"https://example.com/",)"
    LR"("timeStamp":1700000000123,"frameDepth":0}})";

// As the handler reads every message: in the arena it keeps from one message to the next, which
// is reset, wiped, once the message is gone.
void ReadEnvelope(benchmark::State& state) {
    CWipingArena arena;
    for (auto _ : state) {
        {
            CTabMessage message(&arena);
            message.FromJsonString(kEnvelope, &arena);
            benchmark::DoNotOptimize(message.m_payload.get());
        }
        arena.Reset();
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

// The baseline of ReadEnvelope: a general-purpose reader's parse of the same envelope, as the
// UTF-8 it arrives in, into its own tree.
void ParseEnvelopeBoostJson(benchmark::State& state) {
    const std::string utf8 = WideToUtf8(kEnvelope);
    for (auto _ : state) {
        boost::json::value value = boost::json::parse(utf8);
        benchmark::DoNotOptimize(&value);
    }
    state.SetLabel(std::to_string(utf8.size()) + " bytes");
}
BENCHMARK(ParseEnvelopeBoostJson);

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
