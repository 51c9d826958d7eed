#include "HostErrors.h"

#include <vector>

#include "JsonText.h"

namespace browser_extensions::talk {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;

// Text-mode stderr of a Windows host ends its lines with CR LF.
std::string WithoutCarriageReturns(std::string text) {
    std::size_t at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) {
        text.erase(at, 1);
    }
    return text;
}

}  // namespace

void HostErrors::Run() {
    std::vector<char> buffer(kReadChunk);
    while (const std::size_t got =
               host_.Read(HostProcess::Stream::Errors, buffer.data(), buffer.size())) {
        Take(std::string(buffer.data(), got), false);
    }
    Take({}, true);
    tally_.Ended(Tally::Stream::Errors);
}

void HostErrors::Take(const std::string& text, bool atEnd) {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        text_ += text;
        partialLine_ += text;
        std::size_t end;
        while ((end = partialLine_.find('\n')) != std::string::npos) {
            lines.push_back(partialLine_.substr(0, end));
            partialLine_.erase(0, end + 1);
        }
        if (atEnd && !partialLine_.empty()) {
            lines.push_back(std::move(partialLine_));
            partialLine_.clear();
        }
    }
    for (auto& line : lines) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        report_.Event("stderr", {{"text", JsonText::ToValidUtf8(line)}});
    }
}

std::string HostErrors::Text() {
    std::lock_guard<std::mutex> lock(mutex_);
    return WithoutCarriageReturns(text_);
}

}  // namespace browser_extensions::talk
