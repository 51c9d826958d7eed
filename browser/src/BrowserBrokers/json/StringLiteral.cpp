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

// The bytes AppendEscaped writes for `byte`.
size_t EscapedSize(unsigned char byte) {
    switch (byte) {
        case '"':
        case '\\':
        case '\b':
        case '\f':
        case '\n':
        case '\r':
        case '\t':
            return 2;
        default:
            return byte < 0x20 ? 6 : 1;
    }
}

int HexDigitValue(wchar_t unit) {
    if (unit >= L'0' && unit <= L'9') {
        return unit - L'0';
    }
    if (unit >= L'a' && unit <= L'f') {
        return unit - L'a' + 10;
    }
    if (unit >= L'A' && unit <= L'F') {
        return unit - L'A' + 10;
    }
    return -1;
}

}  // namespace

bool UnicodeEscapeUnit(std::wstring_view digits, std::uint32_t& unit) {
    if (digits.size() != 4) {
        return false;
    }
    unit = 0;
    for (const wchar_t digit : digits) {
        const int value = HexDigitValue(digit);
        if (value < 0) {
            return false;
        }
        unit = unit * 16 + static_cast<std::uint32_t>(value);
    }
    return true;
}

std::string Utf8StringLiteral(std::string_view utf8) {
    // Exactly the size it will have: growing would leave a copy of the text in freed memory.
    size_t size = 2;
    for (const char c : utf8) {
        size += EscapedSize(static_cast<unsigned char>(c));
    }
    std::string literal;
    literal.reserve(size);
    literal += '"';
    for (const char c : utf8) {
        AppendEscaped(static_cast<unsigned char>(c), literal);
    }
    literal += '"';
    return literal;
}

}  // namespace browser_extensions::json
