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
    std::string unfinished;  // the last line, until its end arrives
    while (const std::size_t got =
               host_.Read(HostProcess::Stream::Errors, buffer.data(), buffer.size())) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            text_.append(buffer.data(), got);
        }
        unfinished.append(buffer.data(), got);
        for (std::size_t end; (end = unfinished.find('\n')) != std::string::npos;) {
            Record(unfinished.substr(0, end));
            unfinished.erase(0, end + 1);
        }
    }
    if (!unfinished.empty()) {
        Record(unfinished);
    }
    tally_.Ended(Tally::Stream::Errors);
}

void HostErrors::Record(std::string line) {
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    report_.Event("stderr", {{"text", JsonText::ToValidUtf8(line)}});
}

std::string HostErrors::Text() {
    std::lock_guard<std::mutex> lock(mutex_);
    return WithoutCarriageReturns(text_);
}

}  // namespace browser_extensions::talk
