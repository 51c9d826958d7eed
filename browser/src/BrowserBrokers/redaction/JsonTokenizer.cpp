#include "redaction/JsonTokenizer.h"

namespace browser_extensions {
namespace {

bool IsWhitespace(wchar_t c) {
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

bool IsDelimiter(wchar_t c) {
    return IsWhitespace(c) || c == L',' || c == L':' || c == L'[' || c == L']' || c == L'{' ||
           c == L'}' || c == L'"';
}

bool IsDigit(wchar_t c) {
    return c >= L'0' && c <= L'9';
}

size_t SkipDigits(std::wstring_view token, size_t i) {
    while (i < token.size() && IsDigit(token[i])) {
        ++i;
    }
    return i;
}

// -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)?
bool IsNumber(std::wstring_view token) {
    size_t i = (!token.empty() && token[0] == L'-') ? 1 : 0;
    if (i == token.size() || !IsDigit(token[i])) {
        return false;
    }
    i = token[i] == L'0' ? i + 1 : SkipDigits(token, i);
    if (i < token.size() && token[i] == L'.') {
        const size_t fraction = i + 1;
        i = SkipDigits(token, fraction);
        if (i == fraction) {
            return false;
        }
    }
    if (i < token.size() && (token[i] == L'e' || token[i] == L'E')) {
        ++i;
        if (i < token.size() && (token[i] == L'+' || token[i] == L'-')) {
            ++i;
        }
        const size_t exponent = i;
        i = SkipDigits(token, exponent);
        if (i == exponent) {
            return false;
        }
    }
    return i == token.size();
}

bool IsBareValue(std::wstring_view token) {
    return token == L"true" || token == L"false" || token == L"null" || IsNumber(token);
}

}  // namespace

JsonTokenizer::JsonTokenizer(std::wstring_view text) : m_text(text) {}

JsonTokenizer::Token JsonTokenizer::Next() {
    while (true) {
        while (m_pos < m_text.size() && IsWhitespace(m_text[m_pos])) {
            ++m_pos;
        }
        if (m_broken) {
            return {Kind::Broken, m_pos, m_pos};
        }
        if (m_pos == m_text.size()) {
            return {Kind::End, m_pos, m_pos};
        }
        const wchar_t c = m_text[m_pos];
        switch (m_expect) {
            case Expect::Nothing:
                return Stop(m_pos);
            case Expect::Colon:
                if (c != L':') {
                    return Stop(m_pos);
                }
                ++m_pos;
                m_expect = Expect::Value;
                continue;
            case Expect::CommaOrEnd:
                if (c == L',') {
                    ++m_pos;
                    m_expect = m_inObject.back() ? Expect::Key : Expect::Value;
                    continue;
                }
                if (c == (m_inObject.back() ? L'}' : L']')) {
                    return Close(m_inObject.back() ? Kind::ObjectEnd : Kind::ArrayEnd);
                }
                return Stop(m_pos);
            case Expect::KeyOrObjectEnd:
                if (c == L'}') {
                    return Close(Kind::ObjectEnd);
                }
                [[fallthrough]];
            case Expect::Key:
                return c == L'"' ? String(Kind::Key) : Stop(m_pos);
            case Expect::ValueOrArrayEnd:
                if (c == L']') {
                    return Close(Kind::ArrayEnd);
                }
                [[fallthrough]];
            case Expect::Value:
                if (c == L'{') {
                    return Open(Kind::ObjectBegin, true);
                }
                if (c == L'[') {
                    return Open(Kind::ArrayBegin, false);
                }
                return c == L'"' ? String(Kind::Scalar) : Bare();
        }
    }
}

JsonTokenizer::Token JsonTokenizer::Open(Kind kind, bool object) {
    m_inObject.push_back(object);
    m_expect = object ? Expect::KeyOrObjectEnd : Expect::ValueOrArrayEnd;
    ++m_pos;
    return {kind, m_pos - 1, m_pos};
}

JsonTokenizer::Token JsonTokenizer::Close(Kind kind) {
    m_inObject.pop_back();
    ++m_pos;
    AfterValue();
    return {kind, m_pos - 1, m_pos};
}

JsonTokenizer::Token JsonTokenizer::String(Kind kind) {
    const size_t begin = m_pos;
    for (size_t i = begin + 1; i < m_text.size(); ++i) {
        if (m_text[i] == L'\\') {
            ++i;
        } else if (m_text[i] == L'"') {
            m_pos = i + 1;
            if (kind == Kind::Key) {
                m_expect = Expect::Colon;
            } else {
                AfterValue();
            }
            return {kind, begin, m_pos};
        }
    }
    return Stop(begin);  // never closed
}

JsonTokenizer::Token JsonTokenizer::Bare() {
    const size_t begin = m_pos;
    size_t end = begin;
    while (end < m_text.size() && !IsDelimiter(m_text[end])) {
        ++end;
    }
    if (!IsBareValue(m_text.substr(begin, end - begin))) {
        return Stop(begin);
    }
    m_pos = end;
    AfterValue();
    return {Kind::Scalar, begin, end};
}

JsonTokenizer::Token JsonTokenizer::Stop(size_t at) {
    m_broken = true;
    m_pos = at;
    return {Kind::Broken, at, at};
}

void JsonTokenizer::AfterValue() {
    m_expect = m_inObject.empty() ? Expect::Nothing : Expect::CommaOrEnd;
}

}  // namespace browser_extensions
