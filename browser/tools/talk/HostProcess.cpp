#include "HostProcess.h"

namespace browser_extensions::talk {

bool HostProcess::WriteInput(const std::string& bytes) {
    for (std::size_t done = 0; done < bytes.size();) {
        const std::size_t written = WriteSome(bytes.data() + done, bytes.size() - done);
        if (written == 0) {
            return false;
        }
        done += written;
    }
    return true;
}

}  // namespace browser_extensions::talk
