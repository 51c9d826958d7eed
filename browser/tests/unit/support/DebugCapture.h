#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/DebugOutput.h"

namespace browser_extensions::testing_support {

// Captures every debugger line written while it lives, from any thread.
class DebugCapture {
  public:
    DebugCapture() {
        platform::SetDebugSinkForTesting([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(line);
        });
    }
    ~DebugCapture() { platform::SetDebugSinkForTesting(nullptr); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    // The lines so far.
    std::vector<std::string> Lines() const {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lines;
    }
    // The lines so far, forgetting them.
    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_lines, {});
    }

  private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

}  // namespace browser_extensions::testing_support
