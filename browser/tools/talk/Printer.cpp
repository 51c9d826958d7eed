#include "Printer.h"

#include <cstdio>

namespace browser_extensions::talk {

namespace {
constexpr char kPrompt[] = "> ";
}

void Printer::Line(const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (promptShown_) {
        std::fputs("\r  \r", stdout);  // over the prompt
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputs("\n", stdout);
    if (promptShown_ && stopped_) {
        promptShown_ = false;
    }
    if (promptShown_) {
        std::fputs(kPrompt, stdout);
    }
    std::fflush(stdout);
}

void Printer::Prompt() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopped_) {
        return;
    }
    std::fputs(kPrompt, stdout);
    std::fflush(stdout);
    promptShown_ = true;
}

void Printer::PromptAnswered() {
    std::lock_guard<std::mutex> lock(mutex_);
    promptShown_ = false;
}

}  // namespace browser_extensions::talk

namespace browser_extensions::talk {

void Printer::StopPrompting() {
    std::lock_guard<std::mutex> lock(mutex_);
    stopped_ = true;
}

}  // namespace browser_extensions::talk
