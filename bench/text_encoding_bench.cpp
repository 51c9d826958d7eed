// The UTF-8 <-> UTF-16 conversions every inbound and outbound frame goes through: ASCII text
// (the usual envelope) and text with two- to four-byte characters.

#include <benchmark/benchmark.h>

#include <string>

#include "platform/TextEncoding.h"

namespace {

using namespace browser_extensions;

// About 200 bytes of each kind.
std::string AsciiText() {
    std::string text;
    while (text.size() < 200) {
        text += R"({"tabID":"12","type":"triggerFailed","payload":{"triggerId":"t-42"}})";
    }
    return text;
}

std::string MixedText() {
    std::string text;
    while (text.size() < 200) {
        text += "Anmeldung f\xC3\xBCr \xE2\x82\xAC und \xF0\x9F\x98\x80 ";
    }
    return text;
}

void Utf8ToWideAscii(benchmark::State& state) {
    const std::string text = AsciiText();
    for (auto _ : state) {
        std::wstring wide = Utf8ToWide(text);
        benchmark::DoNotOptimize(wide.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(Utf8ToWideAscii);

void Utf8ToWideMixed(benchmark::State& state) {
    const std::string text = MixedText();
    for (auto _ : state) {
        std::wstring wide = Utf8ToWide(text);
        benchmark::DoNotOptimize(wide.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(Utf8ToWideMixed);

void WideToUtf8Ascii(benchmark::State& state) {
    const std::wstring wide = Utf8ToWide(AsciiText());
    for (auto _ : state) {
        std::string text = WideToUtf8(wide);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * wide.size()));
}
BENCHMARK(WideToUtf8Ascii);

void WideToUtf8Mixed(benchmark::State& state) {
    const std::wstring wide = Utf8ToWide(MixedText());
    for (auto _ : state) {
        std::string text = WideToUtf8(wide);
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * wide.size()));
}
BENCHMARK(WideToUtf8Mixed);

}  // namespace
