#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "WindowsCommandLine.h"

namespace browser_extensions::tools {
namespace {

struct QuoteCase {
    const wchar_t* argument;
    const wchar_t* quoted;
};

TEST(QuoteArgument, WritesEachArgumentSoThatWindowsParsingGivesItBack) {
    const QuoteCase cases[] = {
        {L"plain", L"plain"},
        {L"", L"\"\""},
        {L"two words", L"\"two words\""},
        {L"tab\there", L"\"tab\there\""},
        {L"line\nbreak", L"\"line\nbreak\""},
        {L"say \"hi\"", L"\"say \\\"hi\\\"\""},
        {L"\"", L"\"\\\"\""},
        // Backslashes are literal when no quote follows, even without quoting.
        {L"C:\\dir\\file", L"C:\\dir\\file"},
        {L"trailing\\", L"trailing\\"},
        // ... but doubled before the closing quote or an escaped quote.
        {L"dir with space\\", L"\"dir with space\\\\\""},
        {L"a\\\"b", L"\"a\\\\\\\"b\""},
        {L"a\\\\ b", L"\"a\\\\ b\""},
        {L"end\\\\ ", L"\"end\\\\ \""},
        {L"x \\\\", L"\"x \\\\\\\\\""},
        {L"\u00e9t\u00e9", L"\u00e9t\u00e9"},
    };
    for (const QuoteCase& c : cases) {
        EXPECT_EQ(QuoteArgument(c.argument), c.quoted)
            << "argument: " << testing::PrintToString(std::wstring(c.argument));
    }
}

TEST(BuildCommandLine, QuotesTheProgramAndSeparatesArgumentsBySpaces) {
    EXPECT_EQ(BuildCommandLine(L"C:\\Program Files\\q.exe", {}), L"\"C:\\Program Files\\q.exe\"");
    EXPECT_EQ(BuildCommandLine(L"q.exe", {L"a", L"", L"b c"}), L"\"q.exe\" a \"\" \"b c\"");
}

}  // namespace
}  // namespace browser_extensions::tools
