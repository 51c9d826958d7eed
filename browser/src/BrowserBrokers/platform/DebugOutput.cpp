#include "DebugOutput.h"

#include <atomic>
#include <mutex>

#include "TextEncoding.h"

namespace browser_extensions::platform {
namespace {

struct SinkState {
    std::mutex mutex;
    DebugSink sink;
};

// Never destroyed: detached threads may still write debug lines while the process exits.
SinkState& State() {
    static SinkState* state = new SinkState();
    return *state;
}

std::atomic<bool> g_sinkInstalled{false};

bool DeliverToSink(const std::string& utf8Line) {
    if (!g_sinkInstalled.load(std::memory_order_acquire)) {
        return false;
    }
    SinkState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.sink) {
        return false;
    }
    state.sink(utf8Line);
    return true;
}

}  // namespace

void DebugOutputW(const std::wstring& text) {
    if (g_sinkInstalled.load(std::memory_order_acquire) && DeliverToSink(WideToUtf8(text))) {
        return;
    }
    detail::PlatformDebugOutputW(text);
}

void DebugOutputA(const std::string& text) {
    if (DeliverToSink(text)) {
        return;
    }
    detail::PlatformDebugOutputA(text);
}

bool DebugOutputEnabled() {
    return g_sinkInstalled.load(std::memory_order_acquire) || detail::PlatformDebugOutputEnabled();
}

void SetDebugSinkForTesting(DebugSink sink) {
    SinkState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    g_sinkInstalled.store(static_cast<bool>(sink), std::memory_order_release);
    state.sink = std::move(sink);
}

}  // namespace browser_extensions::platform
