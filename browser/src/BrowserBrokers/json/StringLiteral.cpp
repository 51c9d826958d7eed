#include "json/StringLiteral.h"

namespace browser_extensions::json {
namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

std::size_t UnicodeEscape(std::uint32_t unit, char* out) {
    out[0] = '\\';
    out[1] = 'u';
    for (int i = 0; i < 4; ++i) {
        out[2 + i] = kHexDigits[(unit >> (12 - 4 * i)) & 0xF];
    }
    return 6;
}

// The short escapes, in the order of the letters that name them (the slash is only read).
constexpr char kShortNames[] = "\"\\/bfnrt";
constexpr char kShortUnits[] = "\"\\/\b\f\n\r\t";

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

std::size_t EscapeUnit(std::uint32_t unit, bool asciiOnly, char (&out)[12]) {
    if (unit >= 0x20 && unit != '"' && unit != '\\' && (unit < 0x7F || !asciiOnly)) {
        return 0;
    }
    for (std::size_t i = 0; i < sizeof kShortUnits - 1; ++i) {
        if (unit == static_cast<unsigned char>(kShortUnits[i])) {
            out[0] = '\\';
            out[1] = kShortNames[i];
            return 2;
        }
    }
    if (unit > 0xFFFF) {
        const std::uint32_t offset = unit - 0x10000;
        UnicodeEscape(0xD800 + ((offset >> 10) & 0x3FF), out);
        return 6 + UnicodeEscape(0xDC00 + (offset & 0x3FF), out + 6);
    }
    return UnicodeEscape(unit, out);
}

SecretString Utf8StringLiteral(std::string_view utf8) {
    char escape[12];
    SecretString literal;
    literal.reserve(utf8.size() + 2);
    literal += '"';
    for (const char c : utf8) {
        const std::size_t length = EscapeUnit(static_cast<unsigned char>(c), false, escape);
        if (length == 0) {
            literal += c;
        } else {
            literal.append(escape, length);
        }
    }
    literal += '"';
    return literal;
}

bool DecodeEscape(const wchar_t*& p, const wchar_t* end, std::uint32_t& unit) {
    if (end - p < 2 || p[0] != L'\\') {
        return false;
    }
    for (std::size_t i = 0; i < sizeof kShortNames - 1; ++i) {
        if (p[1] == static_cast<wchar_t>(kShortNames[i])) {
            unit = static_cast<unsigned char>(kShortUnits[i]);
            p += 2;
            return true;
        }
    }
    if (p[1] != L'u' || end - p < 6) {
        return false;
    }
    unit = 0;
    for (int i = 2; i < 6; ++i) {
        const int digit = HexDigitValue(p[i]);
        if (digit < 0) {
            return false;
        }
        unit = unit * 16 + static_cast<std::uint32_t>(digit);
    }
    p += 6;
    return true;
}

}  // namespace browser_extensions::json
