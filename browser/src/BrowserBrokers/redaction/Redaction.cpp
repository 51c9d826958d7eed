#include "redaction/Redaction.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "json/Parser.h"
#include "json/StringLiteral.h"

namespace browser_extensions {
namespace {

constexpr wchar_t kHiddenValue[] = L"\"***\"";
constexpr wchar_t kHiddenRest[] = L"***";
constexpr wchar_t kHiddenUserInfo[] = L"***";  // inside the shown "url" literal

// The names whose values may show, or whose place gives them their meaning. A member's name is
// kept as one of these (or empty), never as a view of the text, which the parser may reuse.
constexpr std::wstring_view kKnownNames[] = {
    L"tabID",    L"type",      L"requestID", L"payload", L"url",    L"bTopLvlDoc", L"host",
    L"username", L"triggerId", L"level",     L"message", L"values", L"signature",
};

// Where a container sits, which decides what its members may show.
enum class Place : unsigned char { Envelope, Payload, Values, ValuesEntry, Elsewhere };

// The redaction follows the text however deep it nests, as the reader's limit is no secret's,
// and takes raw control characters in strings (see json/Parser.h).
constexpr std::size_t kNoDepthLimit = std::numeric_limits<std::size_t>::max();
template <typename Events>
using LenientParser = json::Parser<Events, true>;

std::wstring_view NameOf(std::wstring_view key) {
    for (const std::wstring_view known : kKnownNames) {
        if (key == known) {
            return known;
        }
    }
    return {};
}

bool IsString(std::wstring_view raw) {
    return !raw.empty() && raw.front() == L'"';
}

// What the envelope's own members say about the rest of it.
struct Envelope {
    bool log = false;     // every "type" is the string "log"
    bool answer = false;  // a "requestID" other than the string ""
};

// Events that read the envelope's own members, a first pass over the text.
class EnvelopeReader {
  public:
    Envelope Result() const { return {m_typeSeen && m_everyTypeIsLog, m_answer}; }

    void Open(bool /*object*/) {
        MemberValue({}, {});
        ++m_depth;
    }
    void Close() { --m_depth; }
    void Key(std::wstring_view /*raw*/, std::wstring_view key) {
        if (m_depth == 1) {
            m_member = NameOf(key);
        }
    }
    void Scalar(std::wstring_view raw, std::wstring_view text) { MemberValue(raw, text); }
    template <typename Value>
    void Scalar(std::wstring_view raw, const Value& /*value*/) {
        MemberValue(raw, {});
    }

  private:
    // `raw` is empty for a container.
    void MemberValue(std::wstring_view raw, std::wstring_view text) {
        if (m_depth != 1) {
            return;
        }
        if (m_member == L"type") {
            m_typeSeen = true;
            m_everyTypeIsLog = m_everyTypeIsLog && IsString(raw) && text == L"log";
        } else if (m_member == L"requestID") {
            m_answer = m_answer || !IsString(raw) || raw.size() != 2;
        }
    }

    std::size_t m_depth = 0;
    std::wstring_view m_member;
    bool m_typeSeen = false;
    bool m_everyTypeIsLog = true;
    bool m_answer = false;
};

struct Unit {
    std::uint32_t value;
    size_t next;
};

// The code unit that a string literal, which the parser found valid, spells at `i`, escapes
// decoded; `end` is where its content ends (the closing quote).
Unit DecodeAt(std::wstring_view text, size_t i, size_t end) {
    const wchar_t* p = text.data() + i;
    std::uint32_t value = static_cast<std::uint32_t>(*p);
    if (!json::DecodeEscape(p, text.data() + end, value)) {
        ++p;
    }
    return {value, static_cast<size_t>(p - text.data())};
}

Place PlaceOf(const std::vector<Place>& open, std::wstring_view member, bool object,
              const Envelope& envelope) {
    if (open.empty()) {
        return object ? Place::Envelope : Place::Elsewhere;
    }
    switch (open.back()) {
        case Place::Envelope:
            return object && member == L"payload" && !envelope.answer ? Place::Payload
                                                                      : Place::Elsewhere;
        case Place::Payload:
            return !object && member == L"values" ? Place::Values : Place::Elsewhere;
        case Place::Values:
            return object ? Place::ValuesEntry : Place::Elsewhere;
        case Place::ValuesEntry:
        case Place::Elsewhere:
            break;
    }
    return Place::Elsewhere;
}

bool Shows(Place place, std::wstring_view member, const Envelope& envelope) {
    switch (place) {
        case Place::Envelope:
            return member == L"tabID" || member == L"type" || member == L"requestID";
        case Place::Payload:
            return member == L"url" || member == L"bTopLvlDoc" || member == L"host" ||
                   member == L"username" || member == L"triggerId" || member == L"level" ||
                   (member == L"message" && envelope.log);
        case Place::ValuesEntry:
            return member == L"signature";
        case Place::Values:
        case Place::Elsewhere:
            break;
    }
    return false;
}

// The first of `units` in a literal's content from `begin` to `end`, escapes decoded; `end` when
// there is none.
size_t Find(std::wstring_view text, size_t begin, size_t end, std::wstring_view units) {
    for (size_t i = begin; i < end;) {
        const Unit unit = DecodeAt(text, i, end);
        if (units.find(static_cast<wchar_t>(unit.value)) != std::wstring_view::npos) {
            return i;
        }
        i = unit.next;
    }
    return end;
}

bool IsSlash(const Unit& unit) {
    return unit.value == L'/' || unit.value == L'\\';
}

// Where a shown "url"'s authority begins: after its first "//" when no lone "/" comes before it,
// else at the literal's start (so a text without one still hides what precedes an "@").
size_t StartOfAuthority(std::wstring_view text, size_t begin, size_t end) {
    const size_t slash = Find(text, begin, end, L"/\\");
    const size_t next = slash < end ? DecodeAt(text, slash, end).next : end;
    if (next < end) {
        const Unit second = DecodeAt(text, next, end);
        if (IsSlash(second)) {
            return second.next;
        }
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
        if (unit.value == L'@') {
            userInfoEnd = i;
        }
        i = unit.next;
    }
    return userInfoEnd;
}

// The text with some ranges replaced (never by nothing), built only once the first one is.
class Rewrite {
  public:
    explicit Rewrite(std::wstring_view text) : m_text(text) {}

    void Replace(size_t begin, size_t end, std::wstring_view replacement) {
        if (m_result.empty()) {
            m_result.reserve(m_text.size());  // most messages come out about as long
        }
        m_result.append(m_text.substr(m_copied, begin - m_copied));
        m_result.append(replacement);
        m_copied = end;
    }

    std::wstring Finish() {
        if (m_result.empty()) {
            return std::wstring(m_text);
        }
        m_result.append(m_text.substr(m_copied));
        return std::move(m_result);
    }

  private:
    std::wstring_view m_text;
    std::wstring m_result;
    size_t m_copied = 0;  // text before this index is already in `m_result`
};

// Events that rewrite the text, the second pass: every value not shown is replaced.
class Redactor {
  public:
    Redactor(std::wstring_view text, const Envelope& envelope)
        : m_text(text), m_envelope(envelope), m_rewrite(text) {}

    void Open(bool object) {
        Settle();
        m_open.push_back(PlaceOf(m_open, m_member, object, m_envelope));
    }
    void Close() {
        Settle();
        m_open.pop_back();
    }
    void Key(std::wstring_view /*raw*/, std::wstring_view key) {
        Settle();
        m_member = NameOf(key);
    }
    void Scalar(std::wstring_view raw, std::wstring_view /*text*/) {
        Settle();
        if (!Shown()) {
            m_rewrite.Replace(Offset(raw), Offset(raw) + raw.size(), kHiddenValue);
        } else if (m_member == L"url") {
            HideUrlSecrets(Offset(raw), Offset(raw) + raw.size());
        }
    }
    // A number or a literal is settled with the next event: where the text stops being JSON
    // right after it, inside the same run of characters, the whole run is what breaks.
    template <typename Value>
    void Scalar(std::wstring_view raw, const Value& /*value*/) {
        Settle();
        m_bare = raw;
    }

    // The rewritten text, `complete` when the parser read a whole value and stopped at
    // `position`.
    std::wstring Finish(bool complete, const wchar_t* position) {
        size_t broken = Offset(std::wstring_view(position, 0));
        if (complete) {
            while (broken < m_text.size() && IsWhitespace(m_text[broken])) {
                ++broken;
            }
        }
        if (broken < m_text.size() && !m_bare.empty() && Offset(m_bare) + m_bare.size() == broken &&
            !IsDelimiter(m_text[broken])) {
            broken = Offset(m_bare);
            m_bare = {};
        }
        Settle();
        if (broken < m_text.size()) {
            m_rewrite.Replace(broken, m_text.size(), kHiddenRest);
        }
        return m_rewrite.Finish();
    }

  private:
    static bool IsWhitespace(wchar_t c) {
        return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
    }
    static bool IsDelimiter(wchar_t c) {
        return IsWhitespace(c) || std::wstring_view(L",:[]{}\"").find(c) != std::wstring_view::npos;
    }

    size_t Offset(std::wstring_view raw) const {
        return static_cast<size_t>(raw.data() - m_text.data());
    }

    // An array's elements have no name; only objects' members can show.
    bool Shown() const { return !m_open.empty() && Shows(m_open.back(), m_member, m_envelope); }

    void Settle() {
        if (!m_bare.empty() && !Shown()) {
            m_rewrite.Replace(Offset(m_bare), Offset(m_bare) + m_bare.size(), kHiddenValue);
        }
        m_bare = {};
    }

    // The literal from `begin` to `end`, quotes included.
    void HideUrlSecrets(size_t begin, size_t end) {
        // The shown part ends at the query or the fragment.
        const size_t shownEnd = Find(m_text, begin + 1, end - 1, L"?#");
        const size_t authority = StartOfAuthority(m_text, begin + 1, shownEnd);
        const size_t userInfoEnd = EndOfUserInfo(m_text, authority, shownEnd);
        if (userInfoEnd > authority) {
            m_rewrite.Replace(authority, userInfoEnd, kHiddenUserInfo);
        }
        if (shownEnd + 1 < end) {
            m_rewrite.Replace(shownEnd, end, L"\"");
        }
    }

    std::wstring_view m_text;
    Envelope m_envelope;
    Rewrite m_rewrite;
    std::vector<Place> m_open;  // one per open container, innermost last
    std::wstring_view m_member;
    std::wstring_view m_bare;  // a number or literal not settled yet
};

}  // namespace

std::wstring RedactSecrets(std::wstring_view text) {
    EnvelopeReader envelope;
    LenientParser<EnvelopeReader>(text, envelope, kNoDepthLimit).Run();
    Redactor redactor(text, envelope.Result());
    LenientParser<Redactor> parser(text, redactor, kNoDepthLimit);
    const bool complete = parser.Run();
    return redactor.Finish(complete, parser.Position());
}

}  // namespace browser_extensions
