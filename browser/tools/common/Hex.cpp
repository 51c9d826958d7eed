#include "Hex.h"

namespace browser_extensions::tools {
namespace {

constexpr char kDigits[] = "0123456789abcdef";

void AppendByte(std::string& out, unsigned char byte) {
    out += kDigits[byte >> 4];
    out += kDigits[byte & 0xF];
}

int DigitValue(char c) {
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

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == ':';
}

}  // namespace

std::string Hex::Encode(std::string_view bytes, bool spaced) {
    std::string out;
    for (const char b : bytes) {
        if (spaced && !out.empty()) {
            out += ' ';
        }
        AppendByte(out, static_cast<unsigned char>(b));
    }
    return out;
}

std::string Hex::Escaped(unsigned char byte) {
    std::string out = "\\x";
    AppendByte(out, byte);
    return out;
}

bool Hex::Parse(std::string_view text, std::string& bytes, std::string& error) {
    bytes.clear();
    int high = -1;
    for (const char c : text) {
        if (IsSeparator(c)) {
            if (high >= 0) {
                error = "a lone hex digit before a separator";
                return false;
            }
            continue;
        }
        const int digit = DigitValue(c);
        if (digit < 0) {
            const auto byte = static_cast<unsigned char>(c);
            const bool visible = byte > 0x20 && byte < 0x7F;
            error = "not a hex digit: '" + (visible ? std::string(1, c) : Escaped(byte)) + "'";
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

}  // namespace browser_extensions::tools
