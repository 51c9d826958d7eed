#include "json/Reader.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "json/Parser.h"

namespace browser_extensions::json {
namespace {

constexpr std::size_t kMaxDepth = 512;

// Builds the tree of what the parser reads: containers are attached to their parent as soon as
// they begin, scalars and members once complete.
class TreeBuilder {
  public:
    // The tree replaces what `root` held as soon as its first value begins.
    TreeBuilder(Value& root, std::pmr::memory_resource* memory)
        : m_memory(memory), m_root(root), m_open(memory) {
        m_open.reserve(8);  // a message's depth, without growing one step at a time
    }

    void Open(bool object) {
        m_open.push_back(object ? &Place(std::in_place_type<Object>, m_memory)
                                : &Place(std::in_place_type<Array>, m_memory));
    }
    void Close() { m_open.pop_back(); }
    void Key(std::wstring_view /*raw*/, std::wstring_view key) { m_key = key; }
    // Made in place: a string moved in would leave a short one's characters in the string it
    // came from.
    void Scalar(std::wstring_view /*raw*/, std::wstring_view text) { Place(text, m_memory); }
    // int64 when it fits, uint64 for larger positive values, else double.
    void Scalar(std::wstring_view /*raw*/, const NumberText& number) {
        constexpr auto kSignedMax =
            static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
        std::uint64_t magnitude = 0;
        if (!number.IsInteger() || !IntegerMagnitude(number, magnitude) ||
            (number.negative && magnitude > kSignedMax + 1)) {
            Place(RealValue(number));
        } else if (number.negative) {
            // -(magnitude) without overflowing at the most negative value.
            Place(magnitude == 0 ? std::int64_t{0} : -static_cast<std::int64_t>(magnitude - 1) - 1);
        } else if (magnitude <= kSignedMax) {
            Place(static_cast<std::int64_t>(magnitude));
        } else {
            Place(magnitude);
        }
    }
    template <typename Literal>
    void Scalar(std::wstring_view /*raw*/, Literal literal) {
        Place(literal);
    }

  private:
    // The integer part's value; false when it is beyond uint64.
    static bool IntegerMagnitude(const NumberText& number, std::uint64_t& magnitude) {
        // Up to 19 digits, the value taken while scanning; more may be out of range.
        constexpr std::ptrdiff_t kSafeDigits = 19;
        if (number.integerEnd - number.integerBegin <= kSafeDigits) {
            magnitude = number.magnitude;
            return true;
        }
        const std::string digits(number.integerBegin, number.integerEnd);  // ASCII
        const char* const end = digits.data() + digits.size();
        return std::from_chars(digits.data(), end, magnitude).ec == std::errc();
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
            } else if (*p >= L'0' && *p <= L'9' && exponent < kBound) {
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
    // member is made with its key, in the object's memory, its place found with one search of the
    // object, and made again over an earlier member of the same key.
    template <typename... Arguments>
    Value& Place(const Arguments&... arguments) {
        if (m_open.empty()) {
            m_root = Value(arguments...);
            return m_root;
        }
        Value& parent = *m_open.back();
        if (parent.type() == Type::kObject) {
            const auto [member, inserted] =
                parent.AsObject().emplace(std::piecewise_construct, std::forward_as_tuple(m_key),
                                          std::forward_as_tuple(arguments...));
            if (!inserted) {
                member->second = Value(arguments...);
            }
            return member->second;
        }
        return parent.AsArray().emplace_back(arguments...);
    }

    std::pmr::memory_resource* const m_memory;
    Value& m_root;
    std::pmr::vector<Value*> m_open;  // the containers being filled, innermost last
    std::wstring_view m_key;          // the key of the member being read
};

}  // namespace

bool Read(std::wstring_view text, Value& value, std::pmr::memory_resource* memory) {
    TreeBuilder builder(value, memory);
    Parser<TreeBuilder> parser(text, builder, kMaxDepth);
    return parser.Run();
}

}  // namespace browser_extensions::json
