#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "platform/TextEncoding.h"

namespace browser_extensions {
namespace {

std::wstring Units(std::initializer_list<unsigned> units) {
    std::wstring result;
    for (unsigned unit : units) {
        result.push_back(static_cast<wchar_t>(unit));
    }
    return result;
}

std::vector<unsigned> UnitsOf(const std::wstring& text) {
    std::vector<unsigned> result;
    for (wchar_t unit : text) {
        result.push_back(static_cast<unsigned>(unit));
    }
    return result;
}

struct WellFormedCase {
    const char* name;
    std::string utf8;
    std::wstring utf16;
};

void PrintTo(const WellFormedCase& c, std::ostream* os) {
    *os << c.name;
}

class WellFormedText : public ::testing::TestWithParam<WellFormedCase> {};

TEST_P(WellFormedText, ConvertsBothWaysExactly) {
    const WellFormedCase& c = GetParam();
    EXPECT_EQ(UnitsOf(Utf8ToWide(c.utf8)), UnitsOf(c.utf16));
    EXPECT_EQ(WideToUtf8(c.utf16), c.utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WellFormedText,
    ::testing::Values(
        WellFormedCase{"Empty", "", L""}, WellFormedCase{"Ascii", "XPath", L"XPath"},
        WellFormedCase{"TwoByte", "caf\xC3\xA9", Units({'c', 'a', 'f', 0xE9})},
        WellFormedCase{"ThreeByte", "\xE2\x82\xAC", Units({0x20AC})},
        WellFormedCase{"NonBmpIsTwoUnits", "\xF0\x9F\x98\x80", Units({0xD83D, 0xDE00})},
        WellFormedCase{"HighestCodePoint", "\xF4\x8F\xBF\xBF", Units({0xDBFF, 0xDFFF})},
        WellFormedCase{"EmbeddedNulIsConverted", std::string("a\0b", 3), Units({'a', 0, 'b'})},
        WellFormedCase{"ReplacementCharacterItself", "\xEF\xBF\xBD", Units({0xFFFD})},
        WellFormedCase{"ControlBytesPass", "\r\n\x1A", Units({'\r', '\n', 0x1A})}),
    [](const ::testing::TestParamInfo<WellFormedCase>& info) { return info.param.name; });

// Each maximal prefix of a well-formed sequence, and each byte that cannot begin one, becomes
// one U+FFFD. Wine's converter counts some of these differently (real Windows may differ again),
// so the exact counts are the POSIX converter's contract only.
struct MalformedCase {
    const char* name;
    std::string utf8;
    std::wstring utf16;
};

void PrintTo(const MalformedCase& c, std::ostream* os) {
    *os << c.name;
}

class MalformedUtf8 : public ::testing::TestWithParam<MalformedCase> {};

TEST_P(MalformedUtf8, BecomesReplacementCharactersByMaximalSubpart) {
#ifdef _WIN32
    GTEST_SKIP() << "the platform converter decides the number of replacement characters";
#endif
    const MalformedCase& c = GetParam();
    EXPECT_EQ(UnitsOf(Utf8ToWide(c.utf8)), UnitsOf(c.utf16));
}

constexpr unsigned R = 0xFFFD;

INSTANTIATE_TEST_SUITE_P(
    Cases, MalformedUtf8,
    ::testing::Values(MalformedCase{"LoneFF", "\xFF", Units({R})},
                      MalformedCase{"LoneContinuation", "\x80", Units({R})},
                      MalformedCase{"OverlongTwoByte", "\xC0\x80", Units({R, R})},
                      MalformedCase{"OverlongThreeByte", "\xE0\x80\xAF", Units({R, R, R})},
                      MalformedCase{"EncodedSurrogate", "\xED\xA0\x80", Units({R, R, R})},
                      MalformedCase{"BeyondUnicode", "\xF4\x90\x80\x80", Units({R, R, R, R})},
                      MalformedCase{"TruncatedAtEnd", "\xE2\x82", Units({R})},
                      MalformedCase{"TruncatedFourByteAtEnd", "\xF0\x9F\x98", Units({R})},
                      MalformedCase{"TruncatedThenAscii",
                                    "\xE2\x82"
                                    "A",
                                    Units({R, 'A'})},
                      MalformedCase{"UnicodeStandardExample",
                                    "\x61\xF1\x80\x80\xE1\x80\xC2\x62\x80\x63\x80\xBF\x64",
                                    Units({'a', R, R, R, 'b', R, 'c', R, R, 'd'})}),
    [](const ::testing::TestParamInfo<MalformedCase>& info) { return info.param.name; });

TEST(MalformedUtf8Anywhere, NeverFailsAndKeepsTheValidParts) {
    const std::wstring wide = Utf8ToWide("ok\xFFok");
    ASSERT_GE(wide.size(), 5u);
    EXPECT_EQ(wide.substr(0, 2), L"ok");
    EXPECT_EQ(static_cast<unsigned>(wide[2]), R);
    EXPECT_EQ(wide.substr(wide.size() - 2), L"ok");
}

struct SurrogateCase {
    const char* name;
    std::wstring utf16;
    std::string utf8;
};

void PrintTo(const SurrogateCase& c, std::ostream* os) {
    *os << c.name;
}

class UnpairedSurrogate : public ::testing::TestWithParam<SurrogateCase> {};

TEST_P(UnpairedSurrogate, BecomesEfBfBd) {
    EXPECT_EQ(WideToUtf8(GetParam().utf16), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UnpairedSurrogate,
    ::testing::Values(SurrogateCase{"LoneHigh", Units({0xD800}), "\xEF\xBF\xBD"},
                      SurrogateCase{"LoneLow", Units({0xDC00}), "\xEF\xBF\xBD"},
                      SurrogateCase{"HighThenAscii", Units({0xD83D, 'x'}), "\xEF\xBF\xBDx"},
                      SurrogateCase{"ReversedPair", Units({0xDE00, 0xD83D}),
                                    "\xEF\xBF\xBD\xEF\xBF\xBD"}),
    [](const ::testing::TestParamInfo<SurrogateCase>& info) { return info.param.name; });

TEST(TextEncodingRoundTrip, EveryBmpCharacterAndLongText) {
    std::wstring all;
    for (unsigned unit = 1; unit < 0x10000; ++unit) {
        if (unit < 0xD800 || unit > 0xDFFF) {
            all.push_back(static_cast<wchar_t>(unit));
        }
    }
    all += Units({0xD800, 0xDC00, 0xDBFF, 0xDFFF});
    EXPECT_EQ(Utf8ToWide(WideToUtf8(all)), all);

    const std::string big(3 * 1024 * 1024, 'x');
    EXPECT_EQ(WideToUtf8(Utf8ToWide(big)), big);
}

}  // namespace
}  // namespace browser_extensions
