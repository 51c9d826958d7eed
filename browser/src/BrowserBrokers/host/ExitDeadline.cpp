#include "host/ExitDeadline.h"

#include <thread>

#include "platform/ProcessEnd.h"

namespace browser_extensions {

void ArmExitDeadline(std::chrono::milliseconds deadline) {
    // The thread refers to nothing that exit processing destroys, so it may wake while static
    // destructors run.
    std::thread([deadline] {
        std::this_thread::sleep_for(deadline);
        platform::EndProcessAtOnce(0);
    }).detach();
}

}  // namespace browser_extensions
