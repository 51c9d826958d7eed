#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include <boost/json/value.hpp>

#include "FrameReader.h"

namespace browser_extensions::talk {

// What a browser does with a frame (in the order of VerdictName's names).
enum class Verdict {
    Ok,           // delivered to the extension
    InvalidJson,  // dropped
    TooLarge,     // the browser disconnects
    Truncated,    // never complete: the output ended inside it
};

struct CheckedFrame {
    RawFrame raw;
    Verdict verdict = Verdict::Ok;
    std::optional<boost::json::value> decoded;
    // When the decoded value is a string that holds a JSON object or array: that value.
    std::optional<boost::json::value> inner;
    std::string problem;  // plain words for anything but Ok
};

// Judges frames as a browser would.
class FrameCheck {
  public:
    static constexpr std::uint64_t kBrowserLimit = 1048576;

    static CheckedFrame Check(RawFrame raw);
    static const char* VerdictName(Verdict verdict);
};

}  // namespace browser_extensions::talk
