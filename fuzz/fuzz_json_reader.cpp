// The JSON reader on arbitrary text, against a second, independent reader (a packaged JSON
// library's DOM parser) on every text both accept, and against the writer: what was read, written
// and read again is the same tree.
//
// The second reader refuses a \uXXXX escape of a lone surrogate, which ours keeps as that code
// unit. Such escapes are compared after mapping: the second reader is given \ufffd in their place,
// and our tree has U+FFFD for every unpaired surrogate.

#include <boost/json/src.hpp>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>

#include "json/Reader.h"
#include "json/Tree.h"
#include "json/Value.h"
#include "json/Writer.h"
#include "platform/TextEncoding.h"
#include "protect/CWipingArena.h"
#include "support/FuzzData.h"

namespace json = browser_extensions::json;
using fuzz_support::Require;

namespace {

// The reader gives up below this depth; the second reader is held to the same.
constexpr std::size_t kMaxDepth = 512;

// The second reader rounds its doubles its own way: agreement to the last few bits is enough,
// and near the bottom of the range (subnormals) both being tiny is. It also makes NaN of a zero
// with a large exponent (0e400), which is zero.
bool RealsAgree(double ours, double theirs) {
    if (ours == theirs || (std::isnan(ours) && std::isnan(theirs))) {
        return true;
    }
    if (std::isnan(theirs)) {
        return ours == 0.0;
    }
    if (!std::isfinite(ours) || !std::isfinite(theirs)) {
        return false;
    }
    const double scale = std::fmax(std::fabs(ours), std::fabs(theirs));
    constexpr double kTiny = 1e-290;
    return scale < kTiny || std::fabs(ours - theirs) <= scale * 1e-14;
}

// Same tree, number kinds included. Both readers keep the last of duplicate keys.
bool SameTree(const json::Value& ours, const boost::json::value& theirs) {
    switch (theirs.kind()) {
        case boost::json::kind::null:
            return ours.IsNull();
        case boost::json::kind::bool_:
            return ours.type() == json::Type::kBool && ours.AsBool() == theirs.get_bool();
        case boost::json::kind::int64:
            return ours.type() == json::Type::kInt && !ours.IsUnsigned() &&
                   ours.AsInt64() == theirs.get_int64();
        case boost::json::kind::uint64:
            return ours.type() == json::Type::kInt && ours.IsUnsigned() &&
                   ours.AsUInt64() == theirs.get_uint64();
        case boost::json::kind::double_:
            return ours.type() == json::Type::kReal &&
                   RealsAgree(ours.AsReal(), theirs.get_double());
        case boost::json::kind::string: {
            const boost::json::string& text = theirs.get_string();
            return ours.type() == json::Type::kString &&
                   std::wstring_view(ours.AsString()) ==
                       browser_extensions::Utf8ToWide(std::string_view(text.data(), text.size()));
        }
        case boost::json::kind::array: {
            const boost::json::array& array = theirs.get_array();
            if (ours.type() != json::Type::kArray || ours.AsArray().size() != array.size()) {
                return false;
            }
            for (std::size_t i = 0; i < array.size(); ++i) {
                if (!SameTree(ours.AsArray()[i], array[i])) {
                    return false;
                }
            }
            return true;
        }
        case boost::json::kind::object: {
            const boost::json::object& object = theirs.get_object();
            if (ours.type() != json::Type::kObject || ours.AsObject().size() != object.size()) {
                return false;
            }
            for (const auto& member : object) {
                const auto key = member.key();
                const auto found = ours.AsObject().find(
                    browser_extensions::Utf8ToWide(std::string_view(key.data(), key.size())));
                if (found == ours.AsObject().end() || !SameTree(found->second, member.value())) {
                    return false;
                }
            }
            return true;
        }
    }
    return false;
}

// The writer spells NaN and the infinities as null; everything else it writes exactly.
void NullNonFiniteReals(json::Value& value) {
    if (value.type() == json::Type::kReal && !std::isfinite(value.AsReal())) {
        value = nullptr;
    } else if (value.type() == json::Type::kArray) {
        for (json::Value& element : value.AsArray()) {
            NullNonFiniteReals(element);
        }
    } else if (value.type() == json::Type::kObject) {
        for (auto& member : value.AsObject()) {
            NullNonFiniteReals(member.second);
        }
    }
}

bool IsHighSurrogate(std::uint32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(std::uint32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// The \uXXXX escape at `at` (just after its backslash), or -1.
long EscapedUnit(const std::string& text, std::size_t at) {
    if (at + 5 > text.size() || text[at] != 'u') {
        return -1;
    }
    long unit = 0;
    for (std::size_t i = at + 1; i < at + 5; ++i) {
        const char c = text[i];
        const int digit = c >= '0' && c <= '9'   ? c - '0'
                          : c >= 'a' && c <= 'f' ? c - 'a' + 10
                          : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                                 : -1;
        if (digit < 0) {
            return -1;
        }
        unit = unit * 16 + digit;
    }
    return unit;
}

// The text with every escape of an unpaired surrogate inside a string literal made \ufffd.
std::string MapLoneSurrogateEscapes(const std::string& text) {
    std::string mapped;
    bool inString = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '"') {
            inString = !inString;
        } else if (inString && text[i] == '\\' && i + 1 < text.size()) {
            const long unit = EscapedUnit(text, i + 1);
            const bool paired =
                IsHighSurrogate(static_cast<std::uint32_t>(unit)) && i + 7 < text.size() &&
                text[i + 6] == '\\' &&
                IsLowSurrogate(static_cast<std::uint32_t>(EscapedUnit(text, i + 7)));
            if (paired) {
                mapped.append(text, i, 12);
                i += 11;
            } else if (IsHighSurrogate(static_cast<std::uint32_t>(unit)) ||
                       IsLowSurrogate(static_cast<std::uint32_t>(unit))) {
                mapped += "\\ufffd";
                i += 5;
            } else {
                mapped.append(text, i, 2);
                ++i;
            }
            continue;
        }
        mapped += text[i];
    }
    return mapped;
}

std::wstring MapLoneSurrogates(std::wstring_view text) {
    std::wstring mapped(text);
    for (std::size_t i = 0; i < mapped.size(); ++i) {
        const auto unit = static_cast<std::uint32_t>(mapped[i]);
        if (IsHighSurrogate(unit) && i + 1 < mapped.size() &&
            IsLowSurrogate(static_cast<std::uint32_t>(mapped[i + 1]))) {
            ++i;
        } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
            mapped[i] = 0xFFFD;
        }
    }
    return mapped;
}

// Our tree with every unpaired surrogate made U+FFFD; false when that makes two keys of one object
// equal (which of them the second reader keeps depends on an order our tree does not hold).
bool MapTree(const json::Value& value, json::Value& mapped) {
    switch (value.type()) {
        case json::Type::kString:
            mapped = MapLoneSurrogates(value.AsString());
            return true;
        case json::Type::kArray: {
            json::Array array;
            for (const json::Value& element : value.AsArray()) {
                array.emplace_back();
                if (!MapTree(element, array.back())) {
                    return false;
                }
            }
            mapped = std::move(array);
            return true;
        }
        case json::Type::kObject: {
            json::Object object;
            for (const auto& [key, member] : value.AsObject()) {
                const auto [slot, inserted] =
                    object.try_emplace(json::String(MapLoneSurrogates(key)));
                if (!inserted || !MapTree(member, slot->second)) {
                    return false;
                }
            }
            mapped = std::move(object);
            return true;
        }
        default:
            mapped = value;
            return true;
    }
}

bool IsPrintableAscii(const std::wstring& text) {
    for (const wchar_t unit : text) {
        if (unit < 0x20 || unit > 0x7E) {
            return false;
        }
    }
    return true;
}

// Writes what was read and reads it again: the same tree comes back.
void CheckWriteRoundTrip(const json::Value& value) {
    const std::wstring written = json::Write(value);
    Require(IsPrintableAscii(written), "the writer's text is printable ASCII");
    json::Value expected = value;
    NullNonFiniteReals(expected);
    json::Value reread;
    Require(json::Read(written, reread), "the writer's text reads back");
    Require(reread == expected, "the writer's text reads back to the same tree");
}

void CheckAgainstSecondReader(const std::string& bytes) {
    boost::json::parse_options options;
    options.max_depth = kMaxDepth;
    boost::json::error_code error;
    const boost::json::value theirs =
        boost::json::parse(MapLoneSurrogateEscapes(bytes), error, {}, options);
    if (error) {
        return;
    }
    json::Value ours;
    Require(json::Read(browser_extensions::Utf8ToWide(bytes), ours),
            "a text the second reader accepts is accepted");
    json::Value mapped;
    if (MapTree(ours, mapped)) {
        Require(SameTree(mapped, theirs), "both readers build the same tree");
    }
}

// Read as the handler reads a message, in an arena, the same tree comes out.
void CheckReadInArena(const std::wstring& text, const json::Value& expected) {
    browser_extensions::CWipingArena arena;
    {
        json::Tree tree(&arena);
        json::Read(text, tree.Root(), &arena);
        Require(tree.Root() == expected, "a tree read in an arena is the same");
    }
    arena.Reset();
}

void CheckRead(const std::wstring& text) {
    json::Value value;
    json::Read(text, value);
    CheckWriteRoundTrip(value);
    CheckReadInArena(text, value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes = fuzz_support::BytesOf(data, size);
    CheckAgainstSecondReader(bytes);
    CheckRead(browser_extensions::Utf8ToWide(bytes));
    // The same bytes as raw code units, lone surrogates and all.
    CheckRead(fuzz_support::CodeUnitsOf(data, size));
    return 0;
}
