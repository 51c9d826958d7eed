#include "Halvern.h"

#include <chrono>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include "CEchoWorker.h"
#include "Journal.h"
#include "Wipe.h"
#include "common/StandinFiles.h"

namespace halvern {
namespace {

// The record the host sees; only the word at byte offset 40 is meant for it.
struct InstanceRecord {
    uint64_t words[6];
};
constexpr size_t kValueWord = 5;
static_assert(kValueWord * sizeof(uint64_t) == 40, "the instance value sits at byte offset 40");

struct BridgeState {
    std::mutex mutex;  // one message at a time: journal order and value stay in step
    InstanceRecord record{{0, 0, 0, 0, 0, 1}};
};

// Leaked on purpose, like the worker: callers may still arrive while the process exits.
BridgeState& State() {
    static BridgeState* state = new BridgeState();
    return *state;
}

// Only in the slow test variant: a bridge that comes up only once the file named by
// HALVERN_LOAD_GATE exists, so that a test sees the host wait for it and says when the wait ends.
void DelayLoadingWhenSlow() {
#if defined(HALVERN_SLOW_LOAD)
    while (standins::EnvironmentText("HALVERN_LOAD_GATE") &&
           !standins::ReadFileNamedBy("HALVERN_LOAD_GATE")) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
#endif
}

}  // namespace
}  // namespace halvern

extern "C" {

void* GetInstance(HalvernCallback callback) {
    using namespace halvern;
    DelayLoadingWhenSlow();
    AppendToJournal(JournalLine("GetInstance", ""));
    CEchoWorker::Instance().SetCallback(callback);
    return &State().record;
}

int CreateThreadBroker(std::wstring first, std::wstring second) {
    using namespace halvern;
    AppendToJournal(
        JournalLine("CreateThreadBroker", JsonString(first) + "," + JsonString(second)));
    return 0;
}

int SendMessageToKestrova(const wchar_t* text, uint64_t value) {
    using namespace halvern;
    std::wstring message = text == nullptr ? std::wstring() : std::wstring(text);
    BridgeState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    if (JournalEnabled()) {
        AppendToJournal(JournalLine("SendMessageToKestrova",
                                    JsonString(message) + "," + std::to_string(value)));
    }
    CEchoWorker::Instance().Enqueue(message);
    WipeText(message);
    ++state.record.words[kValueWord];
    return 0;
}
}
