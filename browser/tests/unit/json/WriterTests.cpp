#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "JsonTestText.h"
#include "json/Reader.h"
#include "json/Value.h"
#include "json/Writer.h"

namespace browser_extensions::json {
namespace {

using json_test::Units;

struct WriteCase {
    const char* name;
    Value value;
    std::wstring expected;
};

Object TypeThenLevel() {
    Object object;
    object[L"type"] = L"updateLogLevel";
    object[L"level"] = 3;
    return object;
}

std::vector<WriteCase> WriteCases() {
    const double infinity = std::numeric_limits<double>::infinity();
    return {
        {"members in key order", TypeThenLevel(), LR"({"level":3,"type":"updateLogLevel"})"},
        {"empty object", Object(), L"{}"},
        {"empty array", Array(), L"[]"},
        {"nested containers",
         Array{Object{{L"b", Array{}}, {L"a", Object{}}}, Value(), true, false},
         LR"([{"a":{},"b":[]},null,true,false])"},
        {"short escapes", std::wstring(L"\t\"\\\b\f\n\r"), LR"("\t\"\\\b\f\n\r")"},
        {"control and DEL as \\u", Units({0x01, 0x1F, 0x7F}), LR"("\u0001\u001F\u007F")"},
        {"solidus and printable ASCII unchanged", std::wstring(L" a/~Z{}"), LR"(" a/~Z{}")"},
        {"non-ASCII in upper-case hex", Units({0xE9, 0xFFFF}), LR"("\u00E9\uFFFF")"},
        {"surrogate pair", Units({0xD83D, 0xDE00}), LR"("\uD83D\uDE00")"},
        {"lone surrogate", Units({0xDC00}), LR"("\uDC00")"},
        {"escaped key", Object{{L"a\"\n", 1}}, LR"({"a\"\n":1})"},
        {"zero", 0, L"0"},
        {"negative", -1, L"-1"},
        {"int64 min", std::numeric_limits<std::int64_t>::min(), L"-9223372036854775808"},
        {"int64 max", std::numeric_limits<std::int64_t>::max(), L"9223372036854775807"},
        {"uint64 max", std::numeric_limits<std::uint64_t>::max(), L"18446744073709551615"},
        {"real with zero fraction", 2.0, L"2.0000000000000000"},
        {"real not exact in binary", 0.1, L"0.10000000000000001"},
        {"negative real", -1.5, L"-1.5000000000000000"},
        {"real zero", 0.0, L"0.0000000000000000"},
        {"small real still fixed", 0.0001, L"0.00010000000000000000"},
        {"smaller real scientific", 1e-5, L"1.0000000000000001e-05"},
        {"largest fixed real", 9999999999999998.0, L"9999999999999998.0"},
        {"exponent 16 scientific, never a bare point", 1e16, L"1.0000000000000000e+16"},
        {"larger real scientific", 1e17, L"1.0000000000000000e+17"},
        {"three-digit exponent", 1e300, L"1.0000000000000001e+300"},
        {"subnormal", 5e-324, L"4.9406564584124654e-324"},
        {"fraction digits", 123456.789, L"123456.78900000000"},
        {"NaN", std::numeric_limits<double>::quiet_NaN(), L"null"},
        {"infinity", -infinity, L"null"},
    };
}

TEST(JsonWriter, WritesExactCompactText) {
    for (const WriteCase& c : WriteCases()) {
        EXPECT_EQ(Write(c.value), c.expected) << c.name;
    }
}

TEST(JsonWriter, WholeCodePointInWideCharIsWrittenAsItsSurrogatePair) {
    if constexpr (sizeof(wchar_t) == 4) {
        EXPECT_EQ(Write(Units({0x1F600})), LR"("\uD83D\uDE00")");
    }
}

// What is written reads back as the same tree. The first text came from fuzzing: its 1.336e16
// was written as 17 digits and a bare point, which no reader accepts.
TEST(JsonWriter, WrittenTextReadsBackToTheSameTree) {
    const std::wstring texts[] = {
        L"[0,-0,13360184273879744.5477188,805446744.737095516324]",
        L"[1e16,-1e16,9999999999999998,99999999999999990,1e17,0.0001,1e-5]",
        L"[5e-324,2.2250738585072014e-308,1.7976931348623157e308,0.1]",
    };
    for (const std::wstring& text : texts) {
        Value value;
        ASSERT_TRUE(Read(text, value));
        const std::wstring written = Write(value);
        Value reread;
        EXPECT_TRUE(Read(written, reread)) << written;
        EXPECT_EQ(reread, value) << written;
    }
}

}  // namespace
}  // namespace browser_extensions::json
