#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "json/StringLiteral.h"
#include "protect/SecretText.h"

namespace browser_extensions::json {

// A number's parts, as the grammar delimits them.
struct NumberText {
    const wchar_t* begin;  // the sign, if any
    const wchar_t* integerBegin;
    const wchar_t* integerEnd;
    const wchar_t* fractionEnd;  // == integerEnd without a fraction
    const wchar_t* end;
    bool negative;
    std::uint64_t magnitude;  // the integer part's value, when it has at most 19 digits

    bool IsInteger() const { return fractionEnd == integerEnd && end == integerEnd; }
};

// The one JSON grammar of the host: reads the first value of a text and tells `Events` what it
// finds, in order, without recursion. `Events` has these members (`raw` is the token's text,
// quotes included):
//   void Open(bool object);   a container begins
//   void Close();             the innermost open container ends
//   void Key(std::wstring_view raw, std::wstring_view key);
//   void Scalar(std::wstring_view raw, V value);  V: std::wstring_view (a string's characters,
//                                                 escapes decoded), bool, std::nullptr_t or
//                                                 const NumberText&
// A \uXXXX escape gives exactly that code unit, lone surrogates included (browsers send them,
// for a title cut in the middle of a character): why the host has a reader of its own rather
// than a packaged one, which would read UTF-8 and reject such escapes.
// The reader holds strings to the standard; the redaction of diagnostics lets them hold raw
// control characters (`kRawControlInStrings`), so a debugger line shows such a message whole.
template <typename Events, bool kRawControlInStrings = false>
class Parser {
  public:
    Parser(std::wstring_view text, Events& events, std::size_t maxDepth)
        : m_next(text.data()),
          m_end(text.data() + text.size()),
          m_events(events),
          m_maxDepth(maxDepth) {}
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

    // True when the first value was read completely. Reading stops at a syntax error or at
    // nesting deeper than the limit.
    bool Run() {
        if (!ReadValue()) {
            return false;
        }
        while (!m_open.empty()) {
            SkipWhitespace();
            if (AtEnd()) {
                return false;
            }
            const bool inObject = m_open.back() == '{';
            if (*m_next == (inObject ? L'}' : L']')) {
                Close();
                continue;
            }
            if (*m_next != L',') {
                return false;
            }
            ++m_next;
            if ((inObject && !ReadKey()) || !ReadValue()) {
                return false;
            }
        }
        return true;
    }

    // Just after the first value once it is read; else where the text stops being JSON: at the
    // start of the token that cannot continue it, or at the end of a text that breaks off.
    const wchar_t* Position() const { return m_next; }

  private:
    bool AtEnd() const { return m_next == m_end; }

    static bool IsDigit(wchar_t unit) { return unit >= L'0' && unit <= L'9'; }

    // The quote and the backslash are not characters of their own.
    static bool IsPlainStringUnit(wchar_t unit) {
        const auto value = static_cast<std::uint32_t>(unit);  // wchar_t may be signed
        return (value >= 0x20 || kRawControlInStrings) && value != L'"' && value != L'\\';
    }

    void SkipWhitespace() {
        while (m_next != m_end &&
               (*m_next == L' ' || *m_next == L'\n' || *m_next == L'\r' || *m_next == L'\t')) {
            ++m_next;
        }
    }

    // Reads a value. A container is opened and, unless it is empty, its first member or element
    // is read in the same loop; the rest of its content is left to Run.
    bool ReadValue() {
        for (;;) {
            SkipWhitespace();
            if (AtEnd()) {
                return false;
            }
            switch (*m_next) {
                case L'{':
                case L'[': {
                    const char bracket = static_cast<char>(*m_next);
                    if (!Open(bracket)) {
                        return false;
                    }
                    if (CloseIfEmpty()) {
                        return true;
                    }
                    if (bracket == '{' && !ReadKey()) {
                        return false;
                    }
                    continue;
                }
                case L'"': {
                    std::wstring_view raw;
                    std::wstring_view content;
                    if (!ReadString(m_valueScratch, raw, content)) {
                        return false;
                    }
                    m_events.Scalar(raw, content);
                    return true;
                }
                case L't':
                    return ReadLiteral(L"true", true);
                case L'f':
                    return ReadLiteral(L"false", false);
                case L'n':
                    return ReadLiteral(L"null", nullptr);
                default:
                    return ReadNumber();
            }
        }
    }

    bool Open(char bracket) {
        if (m_open.size() >= m_maxDepth) {
            return false;  // too deep: reading stops as at a syntax error
        }
        ++m_next;
        m_open.push_back(bracket);
        m_events.Open(bracket == '{');
        return true;
    }

    void Close() {
        ++m_next;
        m_open.pop_back();
        m_events.Close();
    }

    bool CloseIfEmpty() {
        SkipWhitespace();
        if (AtEnd() || *m_next != (m_open.back() == '{' ? L'}' : L']')) {
            return false;
        }
        Close();
        return true;
    }

    bool ReadKey() {
        SkipWhitespace();
        std::wstring_view raw;
        std::wstring_view key;
        if (AtEnd() || *m_next != L'"' || !ReadString(m_keyScratch, raw, key)) {
            return false;
        }
        m_events.Key(raw, key);
        SkipWhitespace();
        if (AtEnd() || *m_next != L':') {
            return false;
        }
        ++m_next;
        return true;
    }

    // `m_next` is at the opening quote, and stays there when the string is not valid. `content`
    // receives the string's characters: a view of the text itself when there is nothing to
    // decode (the usual case), else of them decoded into `scratch`.
    bool ReadString(SecretWString& scratch, std::wstring_view& raw, std::wstring_view& content) {
        const wchar_t* const begin = m_next + 1;
        const wchar_t* p = begin;
        while (p != m_end && IsPlainStringUnit(*p)) {
            ++p;
        }
        if (p != m_end && *p == L'"') {
            content = std::wstring_view(begin, static_cast<std::size_t>(p - begin));
        } else {
            const wchar_t* const close = FindClosingQuote(p);
            if (close == nullptr || !Decode(begin, p, close, scratch)) {
                return false;  // unterminated, or not valid inside
            }
            content = scratch;
            p = close;
        }
        raw = std::wstring_view(m_next, static_cast<std::size_t>(p + 1 - m_next));
        m_next = p + 1;
        return true;
    }

    // The quote that ends the literal, with every backslash taking the unit after it along.
    const wchar_t* FindClosingQuote(const wchar_t* p) const {
        for (; p != m_end; p += (*p == L'\\' && p + 1 != m_end) ? 2 : 1) {
            if (*p == L'"') {
                return p;
            }
        }
        return nullptr;
    }

    // Decodes the string that begins at `begin` and ends at `close`, whose first escape or control
    // character is at `p`, into `out`.
    static bool Decode(const wchar_t* begin, const wchar_t* p, const wchar_t* close,
                       SecretWString& out) {
        out.Wipe();
        out.reserve(static_cast<std::size_t>(close - begin));  // decoding never lengthens
        out.assign(begin, p);
        while (p != close) {
            std::uint32_t unit = 0;
            if (*p == L'\\') {
                if (!DecodeEscape(p, close, unit)) {
                    return false;
                }
                out += static_cast<wchar_t>(unit);
                continue;
            }
            if (!IsPlainStringUnit(*p)) {
                return false;  // a raw control character
            }
            const wchar_t* const run = p;
            while (p != close && IsPlainStringUnit(*p)) {
                ++p;
            }
            out.append(run, p);
        }
        return true;
    }

    template <typename Literal>
    bool ReadLiteral(std::wstring_view word, Literal literal) {
        if (static_cast<std::size_t>(m_end - m_next) < word.size() ||
            std::wstring_view(m_next, word.size()) != word) {
            return false;
        }
        const std::wstring_view raw(m_next, word.size());
        m_next += word.size();
        m_events.Scalar(raw, literal);
        return true;
    }

    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
    bool ReadNumber() {
        NumberText number{};
        const wchar_t* p = m_next;
        number.begin = p;
        number.negative = p != m_end && *p == L'-';
        p += number.negative ? 1 : 0;
        number.integerBegin = p;
        if (p == m_end || !IsDigit(*p)) {
            return false;
        }
        // Its value is taken on the way: up to 19 digits cannot overflow.
        if (*p == L'0') {
            ++p;
        } else {
            for (; p != m_end && IsDigit(*p); ++p) {
                number.magnitude = number.magnitude * 10 + static_cast<std::uint64_t>(*p - L'0');
            }
        }
        number.integerEnd = p;
        if (p != m_end && *p == L'.' && !SkipDigits(++p)) {
            return false;
        }
        number.fractionEnd = p;
        if (p != m_end && (*p == L'e' || *p == L'E')) {
            ++p;
            p += (p != m_end && (*p == L'+' || *p == L'-')) ? 1 : 0;
            if (!SkipDigits(p)) {
                return false;
            }
        }
        number.end = p;
        m_next = p;
        m_events.Scalar(std::wstring_view(number.begin, static_cast<std::size_t>(p - number.begin)),
                        number);
        return true;
    }

    // Moves `p` past a run of digits; false when there is none.
    bool SkipDigits(const wchar_t*& p) const {
        const wchar_t* const begin = p;
        while (p != m_end && IsDigit(*p)) {
            ++p;
        }
        return p != begin;
    }

    const wchar_t* m_next;
    const wchar_t* const m_end;
    Events& m_events;
    const std::size_t m_maxDepth;
    std::string m_open;  // the brackets of the open containers, innermost last
    // The decoded characters of a key or a string value with escapes.
    SecretWString m_keyScratch;
    SecretWString m_valueScratch;
};

}  // namespace browser_extensions::json
