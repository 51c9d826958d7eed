#include "protect/ProtectedString.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/TextEncoding.h"
#include "support/DebugCapture.h"

namespace browser_extensions {
namespace {

const std::string kUnprotectFailure = "UnProtectData failed. Returning input string. GLE=0x";

using DebugLines = testing_support::DebugCapture;

struct RoundTripCase {
    const char* name;
    std::wstring text;
};

std::vector<RoundTripCase> RoundTripCases() {
    std::wstring everyUnit;
    for (uint32_t unit = 0; unit <= 0xFFFF; unit += 7) {
        everyUnit.push_back(static_cast<wchar_t>(unit));
    }
    return {
        {"ascii", L"a"},
        {"json", L"{\"logLevel\":4,\"type\":\"updateLogLevel\"}"},
        {"non-bmp from utf8", Utf8ToWide("grin \xF0\x9F\x98\x80 and \xE2\x82\xAC")},
        {"surrogate pair",
         std::wstring{L'x', static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00), L'y'}},
        {"lone surrogates",
         std::wstring{static_cast<wchar_t>(0xDC00), static_cast<wchar_t>(0xD800)}},
        {"embedded nul", std::wstring(L"before\0after\0", 13)},
        {"only nul", std::wstring(1, L'\0')},
        {"units across the whole range", everyUnit},
        {"long", std::wstring(300000, L'\x4E2D') + L"end"},
    };
}

TEST(ProtectedString, RoundTripsGiveBackTheSameCodeUnitsWithoutFailureLines) {
    for (const RoundTripCase& c : RoundTripCases()) {
        SCOPED_TRACE(c.name);
        DebugLines lines;
        const std::wstring protectedText = ProtectString(c.text);
        EXPECT_NE(protectedText, c.text);
        EXPECT_EQ(UnprotectString(protectedText), c.text);
        EXPECT_TRUE(lines.Lines().empty()) << lines.Lines().front();
    }
}

// The empty text is protected like any other, and its protected form comes back as the empty
// text rather than as itself.
TEST(ProtectedString, EmptyTextRoundTrips) {
    DebugLines lines;
    const std::wstring protectedText = ProtectString(L"");
    EXPECT_FALSE(protectedText.empty());
    EXPECT_EQ(UnprotectString(protectedText), L"");
    EXPECT_TRUE(lines.Lines().empty());
}

struct RefusedCase {
    const char* name;
    std::wstring input;
    std::wstring entropy;
};

TEST(ProtectedString, RefusedInputComesBackUnchangedWithOneFailureLine) {
    const std::wstring madeWithDefault = ProtectString(L"secret reply");
    std::wstring tampered = madeWithDefault;
    tampered.back() ^= 0x0101;  // the blob's last bytes authenticate it
    const std::wstring defaultEntropy = L"3F9A2C71-5B0E-4D8A-9C63-E1B74A0D5F28";
    const std::vector<RefusedCase> cases = {
        {"plain json", L"{\"type\":\"documentCompleteAck\",\"tabID\":\"12\"}", defaultEntropy},
        {"empty", L"", defaultEntropy},
        {"other entropy", madeWithDefault, L"3F9A2C71-5B0E-4D8A-9C63-E1B74A0D5F29"},
        {"entropy in lower case", madeWithDefault, L"3f9a2c71-5b0e-4d8a-9c63-e1b74a0d5f28"},
        {"no entropy", madeWithDefault, L""},
        {"tampered", tampered, defaultEntropy},
        {"truncated", madeWithDefault.substr(0, madeWithDefault.size() - 1), defaultEntropy},
    };
    for (const RefusedCase& c : cases) {
        SCOPED_TRACE(c.name);
        DebugLines lines;
        EXPECT_EQ(detail::UnprotectStringWithEntropy(c.input, c.entropy), c.input);
        ASSERT_EQ(lines.Lines().size(), 1u);
        const std::string line = lines.Lines()[0];
        ASSERT_EQ(line.rfind(kUnprotectFailure, 0), 0u) << line;
        // Both the service and its stand-in refuse foreign data with ERROR_INVALID_DATA.
        EXPECT_EQ(line.substr(kUnprotectFailure.size()), "d");
    }
}

TEST(ProtectedString, TextProtectedUnderOtherEntropyIsRefusedUnderTheHostsOwn) {
    const std::wstring text = L"{\"logLevel\":2}";
    const std::wstring foreign = detail::ProtectStringWithEntropy(text, L"another entropy");
    DebugLines lines;
    EXPECT_EQ(UnprotectString(foreign), foreign);
    ASSERT_EQ(lines.Lines().size(), 1u);
    EXPECT_EQ(detail::UnprotectStringWithEntropy(foreign, L"another entropy"), text);
    EXPECT_EQ(lines.Lines().size(), 1u);
}

TEST(ProtectedString, FailureLinesShowTheErrorNumberInLowerCaseHex) {
    const struct {
        uint32_t number;
        const wchar_t* text;
    } cases[] = {
        {0, L"0"},
        {13, L"d"},
        {87, L"57"},
        {16, L"10"},
        {0xABCDEF, L"abcdef"},
        {0x80090005u, L"80090005"},
        {0xFFFFFFFFu, L"ffffffff"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(detail::LowerHex(c.number), c.text) << c.number;
    }
}

}  // namespace
}  // namespace browser_extensions
