#pragma once

#include <cstddef>
#include <string_view>

namespace browser_extensions {

// What a byte says as the first of a UTF-8 sequence: well-formed sequences only (no overlong
// forms, no surrogates, nothing above U+10FFFF).
struct Utf8Lead {
    std::size_t length;  // bytes in the whole sequence; 0 when the byte cannot begin one
    unsigned char low;   // allowed range of the second byte
    unsigned char high;
    char32_t initialValue;  // payload bits of the lead byte
};

inline Utf8Lead ClassifyUtf8Lead(unsigned char b) {
    if (b < 0x80)
        return {1, 0, 0, b};
    if (b >= 0xC2 && b <= 0xDF)
        return {2, 0x80, 0xBF, static_cast<char32_t>(b & 0x1F)};
    if (b == 0xE0)
        return {3, 0xA0, 0xBF, static_cast<char32_t>(b & 0x0F)};
    if (b == 0xED)
        return {3, 0x80, 0x9F, static_cast<char32_t>(b & 0x0F)};
    if (b >= 0xE1 && b <= 0xEF)
        return {3, 0x80, 0xBF, static_cast<char32_t>(b & 0x0F)};
    if (b == 0xF0)
        return {4, 0x90, 0xBF, static_cast<char32_t>(b & 0x07)};
    if (b >= 0xF1 && b <= 0xF3)
        return {4, 0x80, 0xBF, static_cast<char32_t>(b & 0x07)};
    if (b == 0xF4)
        return {4, 0x80, 0x8F, static_cast<char32_t>(b & 0x07)};
    return {0, 0, 0, 0};
}

// One sequence as read from UTF-8 text.
struct Utf8Sequence {
    std::size_t length;  // the whole sequence, else its maximal well-formed prefix (at least 1)
    bool valid;
    char32_t codePoint;  // U+FFFD when not valid
};

// Reads the sequence at `at` (within `bytes`). A malformed one is read as far as it is a prefix
// of a well-formed one, the Unicode "maximal subpart" (a byte that cannot begin one, alone).
inline Utf8Sequence ReadUtf8Sequence(std::string_view bytes, std::size_t at) {
    const Utf8Lead lead = ClassifyUtf8Lead(static_cast<unsigned char>(bytes[at]));
    char32_t value = lead.initialValue;
    std::size_t length = 1;
    for (; length < lead.length && at + length < bytes.size(); ++length) {
        const auto next = static_cast<unsigned char>(bytes[at + length]);
        if (next < (length == 1 ? lead.low : 0x80) || next > (length == 1 ? lead.high : 0xBF)) {
            break;
        }
        value = (value << 6) | (next & 0x3F);
    }
    const bool valid = length == lead.length;
    return {length, valid, valid ? value : 0xFFFD};
}

// Length of the well-formed sequence at `at`, or 0 when the bytes there are not one.
inline std::size_t Utf8SequenceLength(std::string_view bytes, std::size_t at) {
    const Utf8Sequence sequence = ReadUtf8Sequence(bytes, at);
    return sequence.valid ? sequence.length : 0;
}

inline bool IsValidUtf8(std::string_view bytes) {
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = Utf8SequenceLength(bytes, at);
        if (length == 0) {
            return false;
        }
        at += length;
    }
    return true;
}

}  // namespace browser_extensions
