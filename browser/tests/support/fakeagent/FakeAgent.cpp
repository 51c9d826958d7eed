#include "FakeAgent.h"

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <utility>

namespace fake_agent {
namespace {

struct Recorder {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<Call> calls;
    std::vector<int> levels;
    std::size_t nextLevel = 0;
};

Recorder& State() {
    static Recorder recorder;
    return recorder;
}

void Record(Call call) {
    Recorder& state = State();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.calls.push_back(std::move(call));
    }
    state.changed.notify_all();
}

Call Named(const char* function, std::vector<std::wstring> strings) {
    Call call;
    call.function = function;
    call.strings = std::move(strings);
    return call;
}

}  // namespace

std::vector<Call> TakeCalls() {
    Recorder& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return std::exchange(state.calls, {});
}

std::vector<Call> PeekCalls() {
    Recorder& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.calls;
}

bool WaitForCalls(std::size_t count, std::chrono::milliseconds timeout) {
    Recorder& state = State();
    std::unique_lock<std::mutex> lock(state.mutex);
    return state.changed.wait_for(lock, timeout, [&] { return state.calls.size() >= count; });
}

void Reset() {
    Recorder& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.calls.clear();
    state.levels.clear();
    state.nextLevel = 0;
}

void ScriptLogLevels(std::vector<int> levels) {
    Recorder& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    state.levels = std::move(levels);
    state.nextLevel = 0;
}

}  // namespace fake_agent

namespace kaprix_core {

int OnTabClosed(const std::wstring& tabId) {
    fake_agent::Record(fake_agent::Named("OnTabClosed", {tabId}));
    return 0;
}

void NotifyTriggerFired(const std::wstring& tabId, const std::wstring& triggerId,
                        const StringMap& values) {
    fake_agent::Call call = fake_agent::Named("NotifyTriggerFired", {tabId, triggerId});
    call.values = values;
    fake_agent::Record(std::move(call));
}

void NotifyTriggerFailed(const std::wstring& tabId, const std::wstring& triggerId) {
    fake_agent::Record(fake_agent::Named("NotifyTriggerFailed", {tabId, triggerId}));
}

void OnDocumentComplete(const std::wstring& tabId, const std::wstring& url, bool topLevelDocument,
                        ReplyFunction reply) {
    fake_agent::Call call = fake_agent::Named("OnDocumentComplete", {tabId, url});
    call.flag = topLevelDocument;
    call.reply = std::move(reply);
    fake_agent::Record(std::move(call));
}

void OnBasicAuthRequired(const std::wstring& tabId, const std::wstring& host, ReplyFunction reply) {
    fake_agent::Call call = fake_agent::Named("OnBasicAuthRequired", {tabId, host});
    call.reply = std::move(reply);
    fake_agent::Record(std::move(call));
}

void SaveCredentials(const std::wstring& tabId, const std::wstring& host,
                     const std::wstring& userName, const std::wstring& password) {
    fake_agent::Record(fake_agent::Named("SaveCredentials", {tabId, host, userName, password}));
}

void SendResponse(const std::wstring& tabId, const std::wstring& requestId,
                  const StringMap& values) {
    fake_agent::Call call = fake_agent::Named("SendResponse", {tabId, requestId});
    call.values = values;
    fake_agent::Record(std::move(call));
}

}  // namespace kaprix_core

namespace kaprix_utils {

int GetLogLevel() {
    int level = 1;
    {
        fake_agent::Recorder& state = fake_agent::State();
        std::lock_guard<std::mutex> lock(state.mutex);
        if (!state.levels.empty()) {
            level = state.levels[std::min(state.nextLevel, state.levels.size() - 1)];
            ++state.nextLevel;
        }
    }
    fake_agent::Record(fake_agent::Named("GetLogLevel", {}));
    return level;
}

void WriteLog(int level, const std::wstring& text) {
    fake_agent::Call call = fake_agent::Named("WriteLog", {text});
    call.level = level;
    fake_agent::Record(std::move(call));
}

}  // namespace kaprix_utils
