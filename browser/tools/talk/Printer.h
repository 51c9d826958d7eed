#pragma once

#include <mutex>
#include <string>

namespace browser_extensions::talk {

// The human-readable report on standard output. Lines from different threads never mix; when
// someone is typing at the prompt, text that arrives meanwhile is followed by a fresh prompt.
class Printer {
  public:
    void Line(const std::string& text);
    void Prompt();
    void PromptAnswered();
    // Once the session is ending, text is no longer followed by a prompt.
    void StopPrompting();

  private:
    std::mutex mutex_;
    bool promptShown_ = false;
    bool stopped_ = false;
};

}  // namespace browser_extensions::talk
