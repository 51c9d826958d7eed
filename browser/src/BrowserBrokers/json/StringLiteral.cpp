#include "json/StringLiteral.h"

namespace browser_extensions::json {
namespace {

void AppendEscaped(unsigned char byte, std::string& out) {
    switch (byte) {
        case '"':
            out += "\\\"";
            return;
        case '\\':
            out += "\\\\";
            return;
        case '\b':
            out += "\\b";
            return;
        case '\f':
            out += "\\f";
            return;
        case '\n':
            out += "\\n";
            return;
        case '\r':
            out += "\\r";
            return;
        case '\t':
            out += "\\t";
            return;
        default:
            break;
    }
    if (byte < 0x20) {
        static const char kHexDigits[] = "0123456789ABCDEF";
        out += "\\u00";
        out += kHexDigits[byte >> 4];
        out += kHexDigits[byte & 0xF];
        return;
    }
    out += static_cast<char>(byte);
}

}  // namespace

std::string Utf8StringLiteral(std::string_view utf8) {
    std::string literal;
    literal.reserve(utf8.size() + 4);
    literal += '"';
    for (const char c : utf8) {
        AppendEscaped(static_cast<unsigned char>(c), literal);
    }
    literal += '"';
    return literal;
}

}  // namespace browser_extensions::json
