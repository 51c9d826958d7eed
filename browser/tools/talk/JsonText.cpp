#include "JsonText.h"

#include <boost/json/parser.hpp>
#include <boost/json/serialize.hpp>

namespace browser_extensions::talk {

namespace {

constexpr char kHexDigits[] = "0123456789abcdef";

// Length of the valid UTF-8 sequence at `at`, or 0 when the bytes there are not one.
std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0x80) {
        return 1;
    }
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;
    } else {
        return 0;
    }
    if (at + length > bytes.size() || byte(at + 1) < low || byte(at + 1) > high) {
        return 0;
    }
    for (std::size_t i = 2; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

void AppendPretty(std::string& out, const boost::json::value& value, const std::string& margin,
                  std::size_t level) {
    const auto newline = [&](std::size_t depth) {
        out += '\n';
        out += margin;
        out.append(depth * 2, ' ');
    };
    if (const auto* object = value.if_object(); object != nullptr && !object->empty()) {
        out += '{';
        bool first = true;
        for (const auto& member : *object) {
            out += first ? "" : ",";
            first = false;
            newline(level + 1);
            out += boost::json::serialize(boost::json::string_view(member.key()));
            out += ": ";
            AppendPretty(out, member.value(), margin, level + 1);
        }
        newline(level);
        out += '}';
    } else if (const auto* array = value.if_array(); array != nullptr && !array->empty()) {
        out += '[';
        bool first = true;
        for (const auto& element : *array) {
            out += first ? "" : ",";
            first = false;
            newline(level + 1);
            AppendPretty(out, element, margin, level + 1);
        }
        newline(level);
        out += ']';
    } else {
        out += boost::json::serialize(value);
    }
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

}  // namespace

std::optional<boost::json::value> JsonText::Parse(std::string_view text, std::string& error) {
    boost::json::parse_options options;
    options.max_depth = 1000;
    boost::json::parser parser({}, options);
    boost::system::error_code code;
    const std::size_t used = parser.write(text.data(), text.size(), code);
    if (code) {
        error = code.message() + " at byte " + std::to_string(used);
        return std::nullopt;
    }
    return parser.release();
}

std::string JsonText::Compact(const boost::json::value& value) {
    return boost::json::serialize(value);
}

std::string JsonText::Pretty(const boost::json::value& value, const std::string& margin) {
    std::string out;
    AppendPretty(out, value, margin, 0);
    return out;
}

bool JsonText::IsValidUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

std::string JsonText::ToValidUtf8(std::string_view bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, at);
        if (length == 0) {
            out += "\xEF\xBF\xBD";
            ++at;
        } else {
            out.append(bytes.substr(at, length));
            at += length;
        }
    }
    return out;
}

std::string JsonText::Printable(std::string_view bytes) {
    std::string out;
    for (std::size_t at = 0; at < bytes.size();) {
        const auto c = static_cast<unsigned char>(bytes[at]);
        const std::size_t length = Utf8SequenceLength(bytes, at);
        if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (length == 0 || c < 0x20 || c == 0x7F) {
            out += "\\x";
            out += kHexDigits[c >> 4];
            out += kHexDigits[c & 0xF];
        } else {
            out.append(bytes.substr(at, length));
            at += length;
            continue;
        }
        ++at;
    }
    return out;
}

std::string JsonText::Hex(std::string_view bytes, bool spaced) {
    std::string out;
    for (const char b : bytes) {
        const auto c = static_cast<unsigned char>(b);
        if (spaced && !out.empty()) {
            out += ' ';
        }
        out += kHexDigits[c >> 4];
        out += kHexDigits[c & 0xF];
    }
    return out;
}

bool JsonText::ParseHex(std::string_view text, std::string& bytes, std::string& error) {
    bytes.clear();
    int high = -1;
    for (const char c : text) {
        if (c == ' ' || c == '\t' || c == ',' || c == ':') {
            if (high >= 0) {
                error = "a lone hex digit before a separator";
                return false;
            }
            continue;
        }
        const int digit = HexValue(c);
        if (digit < 0) {
            error = std::string("not a hex digit: '") + Printable(std::string_view(&c, 1)) + "'";
            return false;
        }
        if (high < 0) {
            high = digit;
        } else {
            bytes += static_cast<char>(high * 16 + digit);
            high = -1;
        }
    }
    if (high >= 0) {
        error = "an odd number of hex digits";
        return false;
    }
    return true;
}

std::string JsonText::Shorten(const std::string& text, std::size_t limit) {
    if (limit == 0 || text.size() <= limit) {
        return text;
    }
    std::size_t cut = limit;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
    }
    return text.substr(0, cut) + "... (" + std::to_string(text.size() - cut) + " more bytes)";
}

}  // namespace browser_extensions::talk
