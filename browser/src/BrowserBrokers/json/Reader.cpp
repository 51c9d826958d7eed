#include "json/Reader.h"

#include <boost/json/basic_parser_impl.hpp>
#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/TextEncoding.h"

namespace browser_extensions::json {
namespace {

namespace bj = boost::json;

constexpr std::size_t kMaxDepth = 512;

// A char may be signed: only its eight bits count.
template <typename Unit>
constexpr std::uint32_t UnitMask() {
    return sizeof(Unit) == 1 ? 0xFFu : 0xFFFFFFFFu;
}

// Copies code units of one width into the other while all of them are ASCII. Works in blocks
// without a branch per unit (the reader's hottest loop); false when a non-ASCII unit turns up.
template <typename From, typename To>
bool CopyAscii(const From* from, std::size_t count, To* to) {
    constexpr std::size_t kBlock = 8;
    std::size_t i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        std::uint32_t combined = 0;
        for (std::size_t k = 0; k < kBlock; ++k) {
            const auto unit = static_cast<std::uint32_t>(from[i + k]) & UnitMask<From>();
            combined |= unit;
            to[i + k] = static_cast<To>(unit);
        }
        if (combined >= 0x80) {
            return false;
        }
    }
    std::uint32_t combined = 0;
    for (; i < count; ++i) {
        const auto unit = static_cast<std::uint32_t>(from[i]) & UnitMask<From>();
        combined |= unit;
        to[i] = static_cast<To>(unit);
    }
    return combined < 0x80;
}

// Most messages are pure ASCII: those need no real conversion, just one unit per byte.
std::string Narrow(const std::wstring& text) {
    std::string ascii(text.size(), '\0');
    if (!CopyAscii(text.data(), text.size(), &ascii[0])) {
        return WideToUtf8(text);
    }
    return ascii;
}

std::wstring Widen(std::string_view utf8) {
    std::wstring wide(utf8.size(), L'\0');
    if (!CopyAscii(utf8.data(), utf8.size(), &wide[0])) {
        return Utf8ToWide(std::string(utf8));
    }
    return wide;
}

// Joins a text that arrived in parts: `pending` holds the earlier parts, `last` the final one.
std::wstring WidenParts(std::string& pending, bj::string_view last) {
    if (pending.empty()) {
        return Widen(std::string_view(last.data(), last.size()));
    }
    pending.append(last.data(), last.size());
    std::wstring wide = Widen(pending);
    pending.clear();
    return wide;
}

// Receives the parser's events and builds the tree. Every container is attached to its parent as
// soon as it begins, so a syntax error leaves what was read so far in place.
class TreeBuilder {
  public:
    static constexpr std::size_t max_object_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_array_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_key_size = static_cast<std::size_t>(-1);
    static constexpr std::size_t max_string_size = static_cast<std::size_t>(-1);

    bool HasRoot() const { return m_hasRoot; }
    Value TakeRoot() { return std::move(m_root); }

    bool on_document_begin(bj::error_code&) { return true; }
    bool on_document_end(bj::error_code&) { return true; }

    bool on_object_begin(bj::error_code&) {
        Value& object = Place(Object());
        m_open.Push(OpenContainer{&object.AsObject(), nullptr});
        return true;
    }
    bool on_object_end(std::size_t, bj::error_code&) {
        m_open.Pop();
        return true;
    }
    bool on_array_begin(bj::error_code&) {
        Value& array = Place(Array());
        m_open.Push(OpenContainer{nullptr, &array.AsArray()});
        return true;
    }
    bool on_array_end(std::size_t, bj::error_code&) {
        m_open.Pop();
        return true;
    }

    bool on_key_part(bj::string_view part, std::size_t, bj::error_code&) {
        m_keyParts.append(part.data(), part.size());
        return true;
    }
    bool on_key(bj::string_view part, std::size_t, bj::error_code&) {
        m_key = WidenParts(m_keyParts, part);
        return true;
    }
    bool on_string_part(bj::string_view part, std::size_t, bj::error_code&) {
        m_stringParts.append(part.data(), part.size());
        return true;
    }
    bool on_string(bj::string_view part, std::size_t, bj::error_code&) {
        Place(WidenParts(m_stringParts, part));
        return true;
    }

    bool on_number_part(bj::string_view part, bj::error_code&) {
        m_numberParts.append(part.data(), part.size());
        return true;
    }
    bool on_int64(std::int64_t integer, bj::string_view, bj::error_code&) {
        m_numberParts.clear();
        Place(integer);
        return true;
    }
    bool on_uint64(std::uint64_t integer, bj::string_view, bj::error_code&) {
        m_numberParts.clear();
        Place(integer);
        return true;
    }
    bool on_double(double parsed, bj::string_view last, bj::error_code&) {
        m_numberParts.append(last.data(), last.size());
        Place(RealFromText(m_numberParts, parsed));
        m_numberParts.clear();
        return true;
    }

    bool on_bool(bool flag, bj::error_code&) {
        Place(flag);
        return true;
    }
    bool on_null(bj::error_code&) {
        Place(nullptr);
        return true;
    }
    // Comments are not enabled; the parser still requires the handlers.
    bool on_comment_part(bj::string_view, bj::error_code&) { return true; }
    bool on_comment(bj::string_view, bj::error_code&) { return true; }

  private:
    struct OpenContainer {
        Object* object;
        Array* array;
    };

    // The containers being filled, innermost last. Usual nesting fits in place; deeper nesting
    // (up to the reader's limit) spills into the heap.
    class OpenStack {
      public:
        bool Empty() const { return m_size == 0; }
        const OpenContainer& Top() const {
            return m_size <= kInPlace ? m_inPlace[m_size - 1] : m_spilled.back();
        }
        void Push(const OpenContainer& open) {
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
        OpenContainer m_inPlace[kInPlace] = {};
        std::vector<OpenContainer> m_spilled;
        std::size_t m_size = 0;
    };

    // The number's own text decides, correctly rounded and independent of the locale; the
    // parser's value is kept for what the text cannot give (out of range).
    static double RealFromText(const std::string& text, double fallback) {
        double real = 0.0;
        const auto result = std::from_chars(text.data(), text.data() + text.size(), real);
        return result.ec == std::errc() ? real : fallback;
    }

    // Makes the value where it belongs: the root, a member (of several equal keys the last
    // wins) or the next element.
    template <typename Content>
    Value& Place(Content&& content) {
        if (m_open.Empty()) {
            m_root = Value(std::forward<Content>(content));
            m_hasRoot = true;
            return m_root;
        }
        const OpenContainer& parent = m_open.Top();
        if (parent.object != nullptr) {
            const auto [member, inserted] =
                parent.object->try_emplace(std::move(m_key), std::forward<Content>(content));
            if (!inserted) {
                member->second = Value(std::forward<Content>(content));
            }
            return member->second;
        }
        return parent.array->emplace_back(std::forward<Content>(content));
    }

    Value m_root;
    bool m_hasRoot = false;
    OpenStack m_open;
    std::wstring m_key;
    std::string m_keyParts;
    std::string m_stringParts;
    std::string m_numberParts;
};

}  // namespace

bool Read(const std::wstring& text, Value& value) {
    const std::string utf8 = Narrow(text);
    bj::parse_options options;
    options.max_depth = kMaxDepth;
    bj::basic_parser<TreeBuilder> parser(options);
    bj::error_code error;
    // The whole text is here (more = false), so a number ending the text is complete and the
    // parser never suspends. write_some stops after the first complete value and leaves the
    // rest unread instead of rejecting it.
    parser.write_some(false, utf8.data(), utf8.size(), error);
    TreeBuilder& builder = parser.handler();
    if (builder.HasRoot()) {
        value = builder.TakeRoot();
    }
    return !error && parser.done();
}

}  // namespace browser_extensions::json
