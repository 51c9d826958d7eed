#include "host/ExitDeadline.h"

#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

namespace browser_extensions {
namespace {

struct Deadline {
    std::mutex mutex;
    std::condition_variable disarmed;
    bool isDisarmed = false;
};

// Never destroyed: the watching thread may still wake while the process is exiting.
Deadline& TheDeadline() {
    static Deadline* deadline = new Deadline();
    return *deadline;
}

}  // namespace

void ArmExitDeadline(std::chrono::milliseconds deadline) {
    Deadline& state = TheDeadline();
    std::thread([&state, deadline] {
        std::unique_lock<std::mutex> lock(state.mutex);
        if (!state.disarmed.wait_for(lock, deadline, [&state] { return state.isDisarmed; })) {
            std::_Exit(0);
        }
    }).detach();
}

void DisarmExitDeadline() {
    Deadline& state = TheDeadline();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.isDisarmed = true;
    }
    state.disarmed.notify_all();
}

}  // namespace browser_extensions
