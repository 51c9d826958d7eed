// The two text conversions: exact round trips where the text is well formed, and replacement
// characters, never a failure, where it is not.

#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/TextEncoding.h"
#include "support/FuzzData.h"

using browser_extensions::Utf8ToWide;
using browser_extensions::WideToUtf8;
using fuzz_support::Require;

namespace {

bool IsSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDFFF;
}
bool IsHighSurrogate(wchar_t unit) {
    return unit >= 0xD800 && unit <= 0xDBFF;
}
bool IsLowSurrogate(wchar_t unit) {
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

// True when every unit is a UTF-16 code unit and every surrogate is part of a pair.
bool IsWellFormedUtf16(const std::wstring& units) {
    for (size_t i = 0; i < units.size(); ++i) {
        if (static_cast<uint32_t>(units[i]) > 0xFFFF) {
            return false;
        }
        if (IsHighSurrogate(units[i]) && i + 1 < units.size() && IsLowSurrogate(units[i + 1])) {
            ++i;
        } else if (IsSurrogate(units[i])) {
            return false;
        }
    }
    return true;
}

// The units with every surrogate that is not part of a pair replaced by U+FFFD.
std::wstring WithLoneSurrogatesReplaced(const std::wstring& units) {
    std::wstring result = units;
    for (size_t i = 0; i < result.size(); ++i) {
        if (IsHighSurrogate(result[i]) && i + 1 < result.size() && IsLowSurrogate(result[i + 1])) {
            ++i;
        } else if (IsSurrogate(result[i])) {
            result[i] = static_cast<wchar_t>(0xFFFD);
        }
    }
    return result;
}

void CheckBytes(const std::string& bytes) {
    const std::wstring wide = Utf8ToWide(bytes);
    Require(IsWellFormedUtf16(wide), "Utf8ToWide gives well-formed UTF-16 for any bytes");
    const std::string utf8 = WideToUtf8(wide);
    Require(fuzz_support::IsWellFormedUtf8(utf8), "the bytes' round trip is well-formed UTF-8");
    Require(Utf8ToWide(utf8) == wide, "a second trip from UTF-8 gives the same units");
    Require(WideToUtf8(Utf8ToWide(utf8)) == utf8, "a second trip gives the same UTF-8");
    if (fuzz_support::IsWellFormedUtf8(bytes)) {
        Require(utf8 == bytes, "well-formed UTF-8 round-trips exactly");
    }
}

void CheckCodeUnits(const std::wstring& units) {
    const std::string utf8 = WideToUtf8(units);
    Require(fuzz_support::IsWellFormedUtf8(utf8), "WideToUtf8 gives well-formed UTF-8");
    Require(Utf8ToWide(utf8) == WithLoneSurrogatesReplaced(units),
            "code units come back, lone surrogates as U+FFFD");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckBytes(fuzz_support::BytesOf(data, size));
    CheckCodeUnits(fuzz_support::CodeUnitsOf(data, size));
    return 0;
}
