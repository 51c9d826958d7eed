#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include <boost/json/value.hpp>

namespace browser_extensions::talk {

// Reading and showing JSON and bytes the way the tool prints them.
class JsonText {
  public:
    // The whole text as one JSON value, strictly; on failure `error` says why and where.
    static std::optional<boost::json::value> Parse(std::string_view text, std::string& error);
    // Two spaces per level; every line after the first starts with `margin`.
    static std::string Pretty(const boost::json::value& value, const std::string& margin);

    // Invalid sequences become U+FFFD, so the text can go into a JSON string.
    static std::string ToValidUtf8(std::string_view bytes);
    // Control characters and invalid bytes written as escapes, so they can be seen.
    static std::string Printable(std::string_view bytes);
    // At most `limit` bytes (0 = no limit), cut on a character boundary, saying what was left out.
    static std::string Shorten(const std::string& text, std::size_t limit);
};

}  // namespace browser_extensions::talk
