#include "InputLine.h"

#include <cstdint>
#include <cstring>

#include "Hex.h"
#include "JsonText.h"

namespace browser_extensions::talk {

std::string InputLine::Frame(const std::string& body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    std::string frame(sizeof length, '\0');
    std::memcpy(frame.data(), &length, sizeof length);
    return frame + body;
}

bool InputLine::Read(std::istream& in, std::string& line) {
    if (!std::getline(in, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

InputLine InputLine::Classify(const std::string& line, bool rawHex) {
    InputLine result;
    const std::size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return result;
    }
    if (line[first] == '#') {
        result.kind = Kind::Comment;
        result.text = line.substr(first);
        return result;
    }
    result.text = line;
    if (rawHex) {
        std::string error;
        if (tools::Hex::Parse(line, result.bytes, error)) {
            result.kind = Kind::Raw;
        } else {
            result.kind = Kind::Invalid;
            result.note = "not hex bytes: " + error;
        }
        return result;
    }
    // Sent verbatim, even when it is not what a browser would send, for framing experiments.
    result.kind = Kind::Message;
    result.bytes = Frame(line);
    std::string error;
    if (line.size() > kBrowserSendLimit) {
        result.note = "over 64 MiB: a browser refuses to send this";
    } else if (!JsonText::Parse(line, error)) {
        result.note = "not valid JSON (" + error + "): a browser never sends this";
    }
    return result;
}

}  // namespace browser_extensions::talk
