#include "redaction/Redaction.h"

#include <cstdint>

#include "json/StringLiteral.h"

#include <cstddef>

namespace browser_extensions {
namespace {

constexpr wchar_t kKey[] = L"password";
constexpr size_t kKeyLength = sizeof(kKey) / sizeof(kKey[0]) - 1;
// The longest spelling of the key: every letter written as a \uXXXX escape.
constexpr size_t kLongestKeySpelling = kKeyLength * 6;

struct Literal {
    size_t end;  // just past the closing quote, or text.size() when there is none
    bool closed;
};

// The string literal whose opening quote is at `open`.
Literal ScanString(std::wstring_view text, size_t open) {
    for (size_t i = open + 1; i < text.size(); ++i) {
        if (text[i] == L'\\') {
            ++i;
        } else if (text[i] == L'"') {
            return {i + 1, true};
        }
    }
    return {text.size(), false};
}

bool IsWhitespace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

size_t SkipWhitespace(std::wstring_view text, size_t i) {
    while (i < text.size() && IsWhitespace(text[i])) {
        ++i;
    }
    return i;
}

// Whether the literal's content [begin, end) reads as the key once escapes are decoded, as any
// JSON reader would decode it.
bool SpellsKey(std::wstring_view text, size_t begin, size_t end) {
    if (end - begin < kKeyLength || end - begin > kLongestKeySpelling) {
        return false;
    }
    size_t matched = 0;
    for (size_t i = begin; i < end; ++i) {
        wchar_t c = text[i];
        if (c == L'\\') {
            if (i + 6 > end || text[i + 1] != L'u') {
                return false;  // no letter of the key needs a short escape
            }
            std::uint32_t value = 0;
            if (!json::UnicodeEscapeUnit(text.substr(i + 2, 4), value)) {
                return false;
            }
            c = static_cast<wchar_t>(value);
            i += 5;
        }
        if (matched == kKeyLength || c != kKey[matched]) {
            return false;
        }
        ++matched;
    }
    return matched == kKeyLength;
}

// Where the value that begins at `open` ends: a string literal, a container with everything in it
// (brackets inside string literals do not count), or a bare token such as a number or a literal.
// A value cut short by the end of the text runs to the end.
Literal ScanValue(std::wstring_view text, size_t open) {
    if (text[open] == L'"') {
        return ScanString(text, open);
    }
    if (text[open] == L'{' || text[open] == L'[') {
        size_t depth = 0;
        for (size_t i = open; i < text.size(); ++i) {
            if (text[i] == L'"') {
                i = ScanString(text, i).end - 1;
            } else if (text[i] == L'{' || text[i] == L'[') {
                ++depth;
            } else if ((text[i] == L'}' || text[i] == L']') && --depth == 0) {
                return {i + 1, true};
            }
        }
        return {text.size(), false};
    }
    size_t end = open;
    while (end < text.size() && !IsWhitespace(text[end]) && text[end] != L',' &&
           text[end] != L'}' && text[end] != L']' && text[end] != L'"') {
        ++end;
    }
    return {end, true};
}

}  // namespace

std::wstring RedactPasswords(std::wstring_view text) {
    std::wstring result;
    size_t copied = 0;  // text before this index is already in `result`
    size_t i = text.find(L'"');
    while (i != std::wstring_view::npos) {
        const Literal key = ScanString(text, i);
        size_t next = key.end;
        const size_t colon = SkipWhitespace(text, key.end);
        if (key.closed && colon < text.size() && text[colon] == L':' &&
            SpellsKey(text, i + 1, key.end - 1)) {
            const size_t open = SkipWhitespace(text, colon + 1);
            const Literal value = open < text.size() ? ScanValue(text, open) : Literal{open, false};
            if (value.end > open) {
                result.append(text.substr(copied, open - copied));
                // Whatever its type, the value shows as one string; a string cut short stays so.
                result += (text[open] == L'"' && !value.closed) ? L"\"***" : L"\"***\"";
                copied = value.end;
                next = value.end;
            }
        }
        i = text.find(L'"', next);
    }
    if (copied == 0) {
        return std::wstring(text);
    }
    result.append(text.substr(copied));
    return result;
}

}  // namespace browser_extensions
