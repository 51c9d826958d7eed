#pragma once

#include <string>
#include <string_view>

namespace browser_extensions::tools {

// Bytes written as hex digits and read back.
class Hex {
  public:
    // "7b 22 61" (spaced) or "7b2261".
    static std::string Encode(std::string_view bytes, bool spaced);
    // Pairs of hex digits, optionally separated by spaces, tabs, commas or ":"; on failure
    // `error` says why.
    static bool Parse(std::string_view text, std::string& bytes, std::string& error);
    // One byte as "\x7f".
    static std::string Escaped(unsigned char byte);
};

}  // namespace browser_extensions::tools
