#pragma once

#include <istream>
#include <string>

namespace browser_extensions::talk {

// One line of the input, turned into what goes to the host.
struct InputLine {
    enum class Kind { Blank, Comment, Message, Raw, Invalid };

    Kind kind = Kind::Blank;
    std::string text;   // the message or comment text as given
    std::string bytes;  // exactly what is written to the host: a frame, or the raw bytes
    std::string note;   // a warning (Message) or the reason (Invalid)

    // A message a browser would refuse to send.
    static constexpr std::size_t kBrowserSendLimit = 64u * 1024 * 1024;

    // The next line of `in` without its line end (LF or CR LF); false at the end.
    static bool Read(std::istream& in, std::string& line);
    static InputLine Classify(const std::string& line, bool rawHex);
    // 4-byte native-endian length, then the body.
    static std::string Frame(const std::string& body);
};

}  // namespace browser_extensions::talk
