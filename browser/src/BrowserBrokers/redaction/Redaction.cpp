#include "redaction/Redaction.h"

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "json/StringLiteral.h"
#include "redaction/JsonTokenizer.h"

namespace browser_extensions {
namespace {

using Kind = JsonTokenizer::Kind;
using Token = JsonTokenizer::Token;

constexpr wchar_t kHiddenValue[] = L"\"***\"";
constexpr wchar_t kHiddenRest[] = L"***";
constexpr wchar_t kHiddenUserInfo[] = L"***";  // inside the shown "url" literal

// The names whose values may show, and the place that gives them their meaning.
enum class Name {
    TabId,
    Type,
    RequestId,
    Payload,
    Url,
    TopLevelDocument,
    Host,
    Username,
    TriggerId,
    Level,
    Message,
    Values,
    Signature,
    Other,
};

struct KnownName {
    std::wstring_view spelling;
    Name name;
};

constexpr KnownName kKnownNames[] = {
    {L"tabID", Name::TabId},
    {L"type", Name::Type},
    {L"requestID", Name::RequestId},
    {L"payload", Name::Payload},
    {L"url", Name::Url},
    {L"bTopLvlDoc", Name::TopLevelDocument},
    {L"host", Name::Host},
    {L"username", Name::Username},
    {L"triggerId", Name::TriggerId},
    {L"level", Name::Level},
    {L"message", Name::Message},
    {L"values", Name::Values},
    {L"signature", Name::Signature},
};

// Where a container sits, which decides what its members may show.
enum class Place : unsigned char { Envelope, Payload, Values, ValuesEntry, Elsewhere };

struct Unit {
    std::uint32_t value;
    size_t next;
    bool valid;
};

// The code unit that the literal's content spells at `i`, escapes decoded; `end` is where the
// content ends (the closing quote).
Unit DecodeAt(std::wstring_view text, size_t i, size_t end) {
    if (text[i] != L'\\') {
        return {static_cast<std::uint32_t>(text[i]), i + 1, true};
    }
    if (i + 1 >= end) {
        return {0, end, false};
    }
    switch (text[i + 1]) {
        case L'u': {
            std::uint32_t value = 0;
            if (i + 6 > end || !json::UnicodeEscapeUnit(text.substr(i + 2, 4), value)) {
                return {0, end, false};
            }
            return {value, i + 6, true};
        }
        case L'"':
            return {L'"', i + 2, true};
        case L'\\':
            return {L'\\', i + 2, true};
        case L'/':
            return {L'/', i + 2, true};
        case L'b':
            return {L'\b', i + 2, true};
        case L'f':
            return {L'\f', i + 2, true};
        case L'n':
            return {L'\n', i + 2, true};
        case L'r':
            return {L'\r', i + 2, true};
        case L't':
            return {L'\t', i + 2, true};
        default:
            return {0, end, false};
    }
}

// Whether the string literal `token` (quotes included) reads as `word`.
bool Spells(std::wstring_view text, const Token& token, std::wstring_view word) {
    const size_t begin = token.begin + 1;
    const size_t end = token.end - 1;
    // Every letter written as a \uXXXX escape is the longest spelling.
    if (end - begin < word.size() || end - begin > word.size() * 6) {
        return false;
    }
    size_t matched = 0;
    for (size_t i = begin; i < end;) {
        const Unit unit = DecodeAt(text, i, end);
        if (!unit.valid || matched == word.size() ||
            unit.value != static_cast<std::uint32_t>(word[matched])) {
            return false;
        }
        ++matched;
        i = unit.next;
    }
    return matched == word.size();
}

Name NameOf(std::wstring_view text, const Token& key) {
    for (const KnownName& known : kKnownNames) {
        if (Spells(text, key, known.spelling)) {
            return known.name;
        }
    }
    return Name::Other;
}

bool IsString(std::wstring_view text, const Token& token) {
    return text[token.begin] == L'"';
}

// What the envelope's own members say about the rest of it.
struct Envelope {
    bool log = false;     // every "type" is the string "log"
    bool answer = false;  // a "requestID" other than the string ""
};

Envelope ReadEnvelope(std::wstring_view text) {
    JsonTokenizer tokens(text);
    if (tokens.Next().kind != Kind::ObjectBegin) {
        return {};
    }
    bool typeSeen = false;
    bool everyTypeIsLog = true;
    bool answer = false;
    size_t depth = 1;
    Name member = Name::Other;
    while (depth > 0) {
        const Token token = tokens.Next();
        const bool memberValue =
            depth == 1 && (token.kind == Kind::Scalar || token.kind == Kind::ObjectBegin ||
                           token.kind == Kind::ArrayBegin);
        if (memberValue && member == Name::Type) {
            typeSeen = true;
            everyTypeIsLog = everyTypeIsLog && token.kind == Kind::Scalar &&
                             IsString(text, token) && Spells(text, token, L"log");
        } else if (memberValue && member == Name::RequestId) {
            answer = answer || token.kind != Kind::Scalar || token.end - token.begin != 2 ||
                     !IsString(text, token);
        }
        switch (token.kind) {
            case Kind::Key:
                member = depth == 1 ? NameOf(text, token) : member;
                break;
            case Kind::ObjectBegin:
            case Kind::ArrayBegin:
                ++depth;
                break;
            case Kind::ObjectEnd:
            case Kind::ArrayEnd:
                --depth;
                break;
            case Kind::Scalar:
                break;
            case Kind::End:
            case Kind::Broken:
                depth = 0;
                break;
        }
    }
    return {typeSeen && everyTypeIsLog, answer};
}

Place PlaceOf(const std::vector<Place>& open, Name member, Kind kind, const Envelope& envelope) {
    const bool object = kind == Kind::ObjectBegin;
    if (open.empty()) {
        return object ? Place::Envelope : Place::Elsewhere;
    }
    switch (open.back()) {
        case Place::Envelope:
            return object && member == Name::Payload && !envelope.answer ? Place::Payload
                                                                         : Place::Elsewhere;
        case Place::Payload:
            return !object && member == Name::Values ? Place::Values : Place::Elsewhere;
        case Place::Values:
            return object ? Place::ValuesEntry : Place::Elsewhere;
        case Place::ValuesEntry:
        case Place::Elsewhere:
            break;
    }
    return Place::Elsewhere;
}

bool Shows(Place place, Name member, const Envelope& envelope) {
    switch (place) {
        case Place::Envelope:
            return member == Name::TabId || member == Name::Type || member == Name::RequestId;
        case Place::Payload:
            return member == Name::Url || member == Name::TopLevelDocument ||
                   member == Name::Host || member == Name::Username || member == Name::TriggerId ||
                   member == Name::Level || (member == Name::Message && envelope.log);
        case Place::ValuesEntry:
            return member == Name::Signature;
        case Place::Values:
        case Place::Elsewhere:
            break;
    }
    return false;
}

// Where a "url" literal's shown part ends: at its query or fragment, or at its closing quote.
size_t EndOfShownUrl(std::wstring_view text, const Token& url) {
    const size_t end = url.end - 1;
    for (size_t i = url.begin + 1; i < end;) {
        const Unit unit = DecodeAt(text, i, end);
        if (unit.valid && (unit.value == L'?' || unit.value == L'#')) {
            return i;
        }
        i = unit.next;
    }
    return end;
}

bool IsSlash(const Unit& unit) {
    return unit.valid && (unit.value == L'/' || unit.value == L'\\');
}

// Where a shown "url"'s authority begins: after its first "//" when no lone "/" comes before it,
// else at the literal's start (so a text without one still hides what precedes an "@").
size_t StartOfAuthority(std::wstring_view text, size_t begin, size_t end) {
    for (size_t i = begin; i < end;) {
        const Unit unit = DecodeAt(text, i, end);
        if (IsSlash(unit)) {
            if (unit.next < end) {
                const Unit second = DecodeAt(text, unit.next, end);
                if (IsSlash(second)) {
                    return second.next;
                }
            }
            return begin;
        }
        i = unit.next;
    }
    return begin;
}

// Where the user name and password of a shown "url" end: at the last "@" of its authority (which
// ends at the next "/" or backslash), or `authority` itself when it holds none.
size_t EndOfUserInfo(std::wstring_view text, size_t authority, size_t end) {
    size_t userInfoEnd = authority;
    for (size_t i = authority; i < end;) {
        const Unit unit = DecodeAt(text, i, end);
        if (IsSlash(unit)) {
            break;
        }
        if (unit.valid && unit.value == L'@') {
            userInfoEnd = i;
        }
        i = unit.next;
    }
    return userInfoEnd;
}

// The text with some ranges replaced, built only once the first one is.
class Rewrite {
  public:
    explicit Rewrite(std::wstring_view text) : m_text(text) {}

    void Replace(size_t begin, size_t end, std::wstring_view replacement) {
        if (!m_replaced) {
            m_result.reserve(m_text.size());  // most messages come out about as long
        }
        m_result.append(m_text.substr(m_copied, begin - m_copied));
        m_result.append(replacement);
        m_copied = end;
        m_replaced = true;
    }

    std::wstring Finish() {
        if (!m_replaced) {
            return std::wstring(m_text);
        }
        m_result.append(m_text.substr(m_copied));
        return std::move(m_result);
    }

  private:
    std::wstring_view m_text;
    std::wstring m_result;
    size_t m_copied = 0;  // text before this index is already in `m_result`
    bool m_replaced = false;
};

}  // namespace

std::wstring RedactSecrets(std::wstring_view text) {
    const Envelope envelope = ReadEnvelope(text);
    JsonTokenizer tokens(text);
    std::vector<Place> open;  // one per open container, innermost last
    Name member = Name::Other;
    Rewrite rewrite(text);
    while (true) {
        const Token token = tokens.Next();
        switch (token.kind) {
            case Kind::Key:
                member = NameOf(text, token);
                break;
            case Kind::ObjectBegin:
            case Kind::ArrayBegin:
                open.push_back(PlaceOf(open, member, token.kind, envelope));
                break;
            case Kind::ObjectEnd:
            case Kind::ArrayEnd:
                open.pop_back();
                break;
            case Kind::Scalar:
                // An array's elements have no name; only objects' members can show.
                if (open.empty() || !Shows(open.back(), member, envelope)) {
                    rewrite.Replace(token.begin, token.end, kHiddenValue);
                } else if (member == Name::Url && IsString(text, token)) {
                    const size_t shownEnd = EndOfShownUrl(text, token);
                    const size_t authority = StartOfAuthority(text, token.begin + 1, shownEnd);
                    const size_t userInfoEnd = EndOfUserInfo(text, authority, shownEnd);
                    if (userInfoEnd > authority) {
                        rewrite.Replace(authority, userInfoEnd, kHiddenUserInfo);
                    }
                    if (shownEnd + 1 < token.end) {
                        rewrite.Replace(shownEnd, token.end, L"\"");
                    }
                }
                break;
            case Kind::Broken:
                rewrite.Replace(token.begin, text.size(), kHiddenRest);
                return rewrite.Finish();
            case Kind::End:
                return rewrite.Finish();
        }
    }
}

}  // namespace browser_extensions
