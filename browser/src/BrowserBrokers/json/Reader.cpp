#include "json/Reader.h"

#include "json/StringLiteral.h"
#include "json/UnitIterator.h"
#include "protect/WipeText.h"

#include <emmintrin.h>

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

namespace browser_extensions::json {
namespace {

// Why a reader of our own rather than a packaged one: the text is already UTF-16, and a \uXXXX
// escape must become exactly that code unit, lone surrogates included (browsers send them, for a
// title cut in the middle of a character). The parsers packaged for us read UTF-8 and reject such
// escapes, which would cost a conversion each way and lose every member after the escape.

constexpr std::size_t kMaxDepth = 512;

std::uint32_t UnitValue(wchar_t unit) {
    return static_cast<std::uint32_t>(unit);  // wchar_t may be signed
}

// Every whitespace unit is at most a space, so one comparison settles the usual case.
bool IsWhitespace(wchar_t unit) {
    return UnitValue(unit) <= 0x20 &&
           (unit == L' ' || unit == L'\n' || unit == L'\r' || unit == L'\t');
}

bool IsDigit(wchar_t unit) {
    return unit >= L'0' && unit <= L'9';
}

// Whether a unit ends a plain run in a string literal: raw control characters are not allowed,
// and the quote and the backslash are not characters of their own. Worked out without branching,
// as text mixes the ranges unpredictably.
std::uint32_t IsSpecialStringUnit(wchar_t unit) {
    const std::uint32_t value = UnitValue(unit);
    return static_cast<std::uint32_t>(value < 0x20) | static_cast<std::uint32_t>(value == 0x22) |
           static_cast<std::uint32_t>(value == 0x5C);
}

bool IsPlainStringUnit(wchar_t unit) {
    return IsSpecialStringUnit(unit) == 0;
}

// Bit i set when unit i of the eight at `p` is special (IsSpecialStringUnit), found for all eight
// at once: SSE2 is part of every x86-64 processor. A unit is a control character when nothing is
// left of it shifted right by five.
template <std::size_t kUnitSize = sizeof(wchar_t)>
std::uint32_t SpecialUnits8(const wchar_t* p) {
    const auto* vectors = reinterpret_cast<const __m128i*>(p);
    const __m128i zero = _mm_setzero_si128();
    if constexpr (kUnitSize == 2) {
        const __m128i units = _mm_loadu_si128(vectors);
        const __m128i special =
            _mm_or_si128(_mm_cmpeq_epi16(_mm_srli_epi16(units, 5), zero),
                         _mm_or_si128(_mm_cmpeq_epi16(units, _mm_set1_epi16(0x22)),
                                      _mm_cmpeq_epi16(units, _mm_set1_epi16(0x5C))));
        return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(special, zero)));
    } else {
        std::uint32_t mask = 0;
        for (int half = 0; half < 2; ++half) {
            const __m128i units = _mm_loadu_si128(vectors + half);
            const __m128i special =
                _mm_or_si128(_mm_cmpeq_epi32(_mm_srli_epi32(units, 5), zero),
                             _mm_or_si128(_mm_cmpeq_epi32(units, _mm_set1_epi32(0x22)),
                                          _mm_cmpeq_epi32(units, _mm_set1_epi32(0x5C))));
            mask |= static_cast<std::uint32_t>(_mm_movemask_ps(_mm_castsi128_ps(special)))
                    << (4 * half);
        }
        return mask;
    }
}

// The index of the lowest bit set, for every non-zero eight-bit mask: looked up rather than
// worked out, as a branch on where a string ends would be mispredicted.
struct FirstSetBits {
    std::uint8_t index[256] = {};
    constexpr FirstSetBits() {
        for (std::uint32_t mask = 1; mask < 256; ++mask) {
            std::uint8_t bit = 0;
            while ((mask & (1u << bit)) == 0) {
                ++bit;
            }
            index[mask] = bit;
        }
    }
};
constexpr FirstSetBits kFirstSetBit;

// The containers being filled, innermost last. Usual nesting fits in place; deeper nesting (up to
// the reader's limit) spills into the heap.
class OpenContainers {
  public:
    struct Open {
        Object* object;  // exactly one of the two is set
        Array* array;
    };

    bool Empty() const { return m_size == 0; }
    std::size_t Size() const { return m_size; }
    const Open& Top() const {
        return m_size <= kInPlace ? m_inPlace[m_size - 1] : m_spilled.back();
    }
    void Push(const Open& open) {
        if (m_size < kInPlace) {
            m_inPlace[m_size] = open;
        } else {
            m_spilled.push_back(open);
        }
        ++m_size;
    }
    void Pop() {
        if (m_size > kInPlace) {
            m_spilled.pop_back();
        }
        --m_size;
    }

  private:
    static constexpr std::size_t kInPlace = 16;
    Open m_inPlace[kInPlace] = {};
    std::vector<Open> m_spilled;
    std::size_t m_size = 0;
};

// The number's parts, as the grammar delimits them.
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

// Reads one JSON text into a tree without recursion: a run of openings ("[[[[") is handled by a
// loop, and every open container waits on an explicit stack.
class Parser {
  public:
    // The tree replaces what `target` held as soon as its first value begins.
    Parser(std::wstring_view text, Value& target, std::pmr::memory_resource* memory)
        : m_next(text.data()), m_end(text.data() + text.size()), m_memory(memory), m_root(target) {}

    // True when the first value was read completely.
    bool Run() {
        if (!ReadValue()) {
            return false;
        }
        while (!m_open.Empty()) {
            SkipWhitespace();
            if (AtEnd()) {
                return false;
            }
            const bool inObject = m_open.Top().object != nullptr;
            if (*m_next == (inObject ? L'}' : L']')) {
                ++m_next;
                m_open.Pop();
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

    // A scratch holds text only while it is not empty: decoding wipes it before it reuses it.
    ~Parser() {
        if (!m_keyScratch.empty()) {
            WipeText(m_keyScratch);
        }
        if (!m_valueScratch.empty()) {
            WipeText(m_valueScratch);
        }
    }
    Parser(const Parser&) = delete;
    Parser& operator=(const Parser&) = delete;

  private:
    bool AtEnd() const { return m_next == m_end; }

    void SkipWhitespace() {
        while (m_next != m_end && IsWhitespace(*m_next)) {
            ++m_next;
        }
    }

    bool Consume(wchar_t expected) {
        SkipWhitespace();
        if (AtEnd() || *m_next != expected) {
            return false;
        }
        ++m_next;
        return true;
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
                    if (!OpenContainer<Object>()) {
                        return false;
                    }
                    if (CloseIfEmpty(L'}')) {
                        return true;
                    }
                    if (!ReadKey()) {
                        return false;
                    }
                    continue;
                case L'[':
                    if (!OpenContainer<Array>()) {
                        return false;
                    }
                    if (CloseIfEmpty(L']')) {
                        return true;
                    }
                    continue;
                case L'"': {
                    std::wstring_view text;
                    if (!ReadPlainString(text) && !ReadEscapedString(m_valueScratch, text)) {
                        return false;
                    }
                    // Made in place: a string moved in would leave a short one's characters in
                    // the string it came from.
                    Place(text, m_memory);
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

    // Attaches a new container at once, so that an error inside it keeps what it holds.
    template <typename Container>
    bool OpenContainer() {
        if (m_open.Size() >= kMaxDepth) {
            return false;  // too deep: reading stops as at a syntax error
        }
        ++m_next;
        Value& container = Place(std::in_place_type<Container>, m_memory);
        if constexpr (std::is_same_v<Container, Object>) {
            m_open.Push({&container.AsObject(), nullptr});
        } else {
            m_open.Push({nullptr, &container.AsArray()});
        }
        return true;
    }

    bool CloseIfEmpty(wchar_t close) {
        SkipWhitespace();
        if (AtEnd() || *m_next != close) {
            return false;
        }
        ++m_next;
        m_open.Pop();
        return true;
    }

    bool ReadKey() {
        SkipWhitespace();
        if (AtEnd() || *m_next != L'"' ||
            !(ReadPlainString(m_key) || ReadEscapedString(m_keyScratch, m_key))) {
            return false;
        }
        return Consume(L':');
    }

    // `m_next` is at the opening quote. `content` receives the string's characters: a view of the
    // text itself when there is nothing to decode (the usual case, kept small so that it is made
    // part of its callers), else of them decoded into `scratch`.
    bool ReadPlainString(std::wstring_view& content) {
        const wchar_t* const begin = m_next + 1;
        const wchar_t* const quote = FindPlainEnd(begin);
        if (quote == nullptr) {
            return false;
        }
        content = std::wstring_view(begin, static_cast<std::size_t>(quote - begin));
        m_next = quote + 1;
        return true;
    }

    bool ReadEscapedString(std::wstring& scratch, std::wstring_view& content) {
        const wchar_t* const begin = ++m_next;
        const wchar_t* p = begin;
        while (p != m_end && IsPlainStringUnit(*p)) {
            ++p;
        }
        if (!Decode(begin, p, scratch)) {
            return false;
        }
        content = scratch;
        return true;
    }

    // The closing quote of a string that begins at `begin` and has nothing to decode, else null.
    // Looked for eight units at a time: most keys and short values end within the first eight,
    // so the branch that decides is seldom mispredicted.
    const wchar_t* FindPlainEnd(const wchar_t* begin) const {
        const wchar_t* p = begin;
        while (m_end - p >= 8) {
            const std::uint32_t special = SpecialUnits8(p);
            if (special != 0) {
                p += kFirstSetBit.index[special];
                return *p == L'"' ? p : nullptr;
            }
            p += 8;
        }
        while (p != m_end && IsPlainStringUnit(*p)) {
            ++p;
        }
        return p != m_end && *p == L'"' ? p : nullptr;
    }

    // Decodes the string that begins at `begin`, whose first escape or control character is at
    // `p`, into `out`.
    bool Decode(const wchar_t* begin, const wchar_t* p, std::wstring& out) {
        const wchar_t* const close = FindClosingQuote(p);
        if (close == nullptr) {
            return false;  // unterminated: nothing is built
        }
        WipeText(out);
        // Reserved first: growing later would leave the first characters behind in freed memory.
        out.reserve(static_cast<std::size_t>(close - begin));  // decoding never lengthens
        out.assign(begin, p);
        while (p != close) {
            if (*p == L'\\') {
                if (!AppendEscape(p, close, out)) {
                    return false;
                }
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
        m_next = close + 1;
        return true;
    }

    // The quote that ends the literal, with every backslash taking the unit after it along.
    const wchar_t* FindClosingQuote(const wchar_t* p) const {
        while (p != m_end) {
            if (*p == L'"') {
                return p;
            }
            p += (*p == L'\\' && p + 1 != m_end) ? 2 : 1;
        }
        return nullptr;
    }

    // `p` is at a backslash before `close`; moves it past the escape.
    static bool AppendEscape(const wchar_t*& p, const wchar_t* close, std::wstring& out) {
        wchar_t unit = 0;
        switch (p[1]) {
            case L'"':
            case L'\\':
            case L'/':
                unit = p[1];
                break;
            case L'b':
                unit = L'\b';
                break;
            case L'f':
                unit = L'\f';
                break;
            case L'n':
                unit = L'\n';
                break;
            case L'r':
                unit = L'\r';
                break;
            case L't':
                unit = L'\t';
                break;
            case L'u':
                return AppendUnicodeEscape(p, close, out);
            default:
                return false;
        }
        out += unit;
        p += 2;
        return true;
    }

    // Exactly the code unit written, so a lone surrogate stays one.
    static bool AppendUnicodeEscape(const wchar_t*& p, const wchar_t* close, std::wstring& out) {
        if (close - p < 6) {
            return false;
        }
        std::uint32_t unit = 0;
        if (!UnicodeEscapeUnit(std::wstring_view(p + 2, 4), unit)) {
            return false;
        }
        out += static_cast<wchar_t>(unit);
        p += 6;
        return true;
    }

    template <typename Literal>
    bool ReadLiteral(std::wstring_view word, Literal literal) {
        if (static_cast<std::size_t>(m_end - m_next) < word.size() ||
            std::wstring_view(m_next, word.size()) != word) {
            return false;
        }
        m_next += word.size();
        Place(literal);
        return true;
    }

    bool ReadNumber() {
        NumberText number{};
        if (!ScanNumber(number)) {
            return false;
        }
        m_next = number.end;
        if (number.IsInteger()) {
            std::int64_t signedValue = 0;
            std::uint64_t unsignedValue = 0;
            switch (IntegerValue(number, signedValue, unsignedValue)) {
                case IntegerKind::kSigned:
                    Place(signedValue);
                    return true;
                case IntegerKind::kUnsigned:
                    Place(unsignedValue);
                    return true;
                case IntegerKind::kOutOfRange:
                    break;
            }
        }
        Place(RealValue(number));
        return true;
    }

    // -?(0|[1-9][0-9]*)(\.[0-9]+)?([eE][+-]?[0-9]+)? from `m_next`.
    bool ScanNumber(NumberText& number) const {
        const wchar_t* p = m_next;
        number.begin = p;
        number.negative = p != m_end && *p == L'-';
        if (number.negative) {
            ++p;
        }
        number.integerBegin = p;
        if (p == m_end || !IsDigit(*p)) {
            return false;
        }
        // Its value is taken on the way: up to 19 digits cannot overflow.
        number.magnitude = 0;
        if (*p == L'0') {
            ++p;
        } else {
            for (; p != m_end && IsDigit(*p); ++p) {
                number.magnitude = number.magnitude * 10 + static_cast<std::uint64_t>(*p - L'0');
            }
        }
        number.integerEnd = p;
        if (p != m_end && *p == L'.') {
            ++p;
            if (p == m_end || !IsDigit(*p)) {
                return false;
            }
            p = SkipDigits(p);
        }
        number.fractionEnd = p;
        if (p != m_end && (*p == L'e' || *p == L'E')) {
            ++p;
            if (p != m_end && (*p == L'+' || *p == L'-')) {
                ++p;
            }
            if (p == m_end || !IsDigit(*p)) {
                return false;
            }
            p = SkipDigits(p);
        }
        number.end = p;
        return true;
    }

    const wchar_t* SkipDigits(const wchar_t* p) const {
        while (p != m_end && IsDigit(*p)) {
            ++p;
        }
        return p;
    }

    enum class IntegerKind { kSigned, kUnsigned, kOutOfRange };

    // int64 when it fits, uint64 for larger positive values.
    static IntegerKind IntegerValue(const NumberText& number, std::int64_t& signedValue,
                                    std::uint64_t& unsignedValue) {
        // Up to 19 digits, the value taken while scanning; more may be out of range.
        constexpr std::ptrdiff_t kSafeDigits = 19;
        std::uint64_t magnitude = number.magnitude;
        if (number.integerEnd - number.integerBegin > kSafeDigits) {
            constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
            magnitude = 0;
            for (const wchar_t* p = number.integerBegin; p != number.integerEnd; ++p) {
                const auto digit = static_cast<std::uint64_t>(*p - L'0');
                if (magnitude >= kMax / 10 && (magnitude > kMax / 10 || digit > kMax % 10)) {
                    return IntegerKind::kOutOfRange;
                }
                magnitude = magnitude * 10 + digit;
            }
        }
        constexpr auto kSignedMax =
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        if (number.negative) {
            if (magnitude > kSignedMax + 1) {
                return IntegerKind::kOutOfRange;
            }
            // -(magnitude) without overflowing at the most negative value.
            signedValue = magnitude == 0 ? 0 : -static_cast<std::int64_t>(magnitude - 1) - 1;
            return IntegerKind::kSigned;
        }
        if (magnitude <= kSignedMax) {
            signedValue = static_cast<std::int64_t>(magnitude);
            return IntegerKind::kSigned;
        }
        unsignedValue = magnitude;
        return IntegerKind::kUnsigned;
    }

    // The nearest double to the number's text, independent of the locale; beyond the range of
    // double, infinity (too large) or zero (too small), with the number's sign.
    static double RealValue(const NumberText& number) {
        std::string text(number.begin, number.end);  // the grammar admits ASCII only
        double real = 0.0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), real);
        if (result.ec == std::errc()) {
            return real;
        }
        const double magnitude =
            DecimalOrder(number) >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
        return number.negative ? -magnitude : magnitude;
    }

    // The power of ten of the number's leading significant digit (only asked of a number that is
    // out of range, so it has one), held within bounds that no exponent text can pass.
    static long long DecimalOrder(const NumberText& number) {
        constexpr long long kBound = 1000000000;
        long long exponent = 0;
        bool negativeExponent = false;
        for (const wchar_t* p = number.fractionEnd; p != number.end; ++p) {
            if (*p == L'-') {
                negativeExponent = true;
            } else if (IsDigit(*p) && exponent < kBound) {
                exponent = exponent * 10 + (*p - L'0');
            }
        }
        exponent = negativeExponent ? -exponent : exponent;
        long long order = static_cast<long long>(number.integerEnd - number.integerBegin) - 1;
        for (const wchar_t* p = number.integerBegin; p != number.fractionEnd; ++p) {
            if (*p == L'.') {
                continue;
            }
            if (*p != L'0') {
                return order + exponent;
            }
            --order;
        }
        return order + exponent;
    }

    // Makes the value, from `arguments`, where it belongs: the root, a member (of several equal
    // keys the last wins) or the next element. The arguments are copied, never moved from: a
    // member is made with its key, its place found with one search of the object, and made again
    // over an earlier member of the same key.
    template <typename... Arguments>
    Value& Place(const Arguments&... arguments) {
        if (m_open.Empty()) {
            m_root = Value(arguments...);
            return m_root;
        }
        const OpenContainers::Open& parent = m_open.Top();
        if (parent.object != nullptr) {
            // The key is made in the object's memory, straight from the text.
            const auto [member, inserted] = parent.object->emplace(
                std::piecewise_construct,
                std::forward_as_tuple(UnitIterator(m_key.data()),
                                      UnitIterator(m_key.data() + m_key.size())),
                std::forward_as_tuple(arguments...));
            if (!inserted) {
                member->second = Value(arguments...);
            }
            return member->second;
        }
        return parent.array->emplace_back(arguments...);
    }

    const wchar_t* m_next;
    const wchar_t* const m_end;
    std::pmr::memory_resource* const m_memory;
    Value& m_root;
    OpenContainers m_open;
    std::wstring_view m_key;  // the key of the member being read
    // The decoded characters of a key or a string value with escapes.
    std::wstring m_keyScratch;
    std::wstring m_valueScratch;
};

}  // namespace

bool Read(std::wstring_view text, Value& value, std::pmr::memory_resource* memory) {
    Parser parser(text, value, memory);
    return parser.Run();
}

}  // namespace browser_extensions::json
