#include <cstdint>
#include <type_traits>

#include "TextEncoding.h"
#include "Utf8.h"

// Our own converter, with the results of the Windows calls with flags 0: invalid UTF-8 becomes
// U+FFFD following the Unicode "maximal subpart" practice (each maximal prefix of a well-formed
// sequence, or each byte that cannot begin one, becomes one U+FFFD), and every unpaired
// surrogate becomes U+FFFD. Written by hand because no packaged library offers exactly this on
// both sides with 16-bit code units in a 32-bit wchar_t.

namespace browser_extensions {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Writes the code point's one or two UTF-16 units at `out`; returns how many.
size_t PutUtf16(wchar_t* out, char32_t codePoint) {
    if (codePoint < 0x10000) {
        out[0] = static_cast<wchar_t>(codePoint);
        return 1;
    }
    const char32_t offset = codePoint - 0x10000;
    out[0] = static_cast<wchar_t>(0xD800 + (offset >> 10));
    out[1] = static_cast<wchar_t>(0xDC00 + (offset & 0x3FF));
    return 2;
}

template <typename Unit>
uint32_t UnitValue(Unit unit) {
    // A char may be signed, and so may wchar_t: only the unit's own bits count.
    return static_cast<uint32_t>(static_cast<std::make_unsigned_t<Unit>>(unit));
}

// Copies the ASCII units at the start of [from, from + count) to `to`, one for one, and returns
// how many. Most text is ASCII: blocks of eight are checked at once, without a branch per unit.
template <typename From, typename To>
size_t CopyAsciiRun(const From* from, size_t count, To* to) {
    constexpr size_t kBlock = 8;
    size_t i = 0;
    for (; i + kBlock <= count; i += kBlock) {
        uint32_t combined = 0;
        for (size_t k = 0; k < kBlock; ++k) {
            combined |= UnitValue(from[i + k]);
        }
        if (combined >= 0x80) {
            break;
        }
        for (size_t k = 0; k < kBlock; ++k) {
            to[i + k] = static_cast<To>(from[i + k]);
        }
    }
    for (; i < count && UnitValue(from[i]) < 0x80; ++i) {
        to[i] = static_cast<To>(from[i]);
    }
    return i;
}

// The lead byte carries the length and the top bits; each further byte six more bits.
void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out.push_back(static_cast<char>(codePoint));
        return;
    }
    const int further = codePoint < 0x800 ? 1 : codePoint < 0x10000 ? 2 : 3;
    constexpr unsigned char kLeadMarks[] = {0xC0, 0xE0, 0xF0};
    out.push_back(static_cast<char>(kLeadMarks[further - 1] | (codePoint >> (6 * further))));
    for (int shift = 6 * (further - 1); shift >= 0; shift -= 6) {
        out.push_back(static_cast<char>(0x80 | ((codePoint >> shift) & 0x3F)));
    }
}

bool IsHighSurrogate(char32_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(char32_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

}  // namespace

std::wstring Utf8ToWide(std::string_view utf8) {
    std::wstring result(utf8.size(), L'\0');  // never more code units than bytes
    size_t written = 0;
    for (size_t pos = 0; pos < utf8.size();) {
        const size_t run = CopyAsciiRun(utf8.data() + pos, utf8.size() - pos, &result[written]);
        pos += run;
        written += run;
        if (pos < utf8.size()) {
            const Utf8Sequence sequence = ReadUtf8Sequence(utf8, pos);
            written += PutUtf16(&result[written], sequence.codePoint);
            pos += sequence.length;
        }
    }
    result.resize(written);
    return result;
}

std::string WideToUtf8(std::wstring_view wide) {
    // The leading ASCII run, usually all of it, in one go; the rest unit by unit.
    std::string result(wide.size(), '\0');
    result.resize(CopyAsciiRun(wide.data(), wide.size(), &result[0]));
    // Room for the rest at once: growing later would leave a copy of the text in freed memory.
    result.reserve(result.size() + (wide.size() - result.size()) * 4);
    for (size_t i = result.size(); i < wide.size(); ++i) {
        char32_t codePoint = UnitValue(wide[i]);
        if (IsHighSurrogate(codePoint) && i + 1 < wide.size() &&
            IsLowSurrogate(UnitValue(wide[i + 1]))) {
            ++i;
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (UnitValue(wide[i]) - 0xDC00);
        } else if (IsHighSurrogate(codePoint) || IsLowSurrogate(codePoint) ||
                   codePoint > 0x10FFFF) {
            codePoint = kReplacement;
        }
        // A value above 0xFFFF is not a UTF-16 code unit, but a 32-bit wchar_t can hold one (a
        // wide literal written in source); it is taken as the code point it names.
        AppendUtf8(result, codePoint);
    }
    return result;
}

}  // namespace browser_extensions
