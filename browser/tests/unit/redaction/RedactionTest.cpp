#include <gtest/gtest.h>

#include <string>

#include "redaction/Redaction.h"

namespace browser_extensions {
namespace {

struct RedactionCase {
    const char* name;
    std::wstring input;
    std::wstring expected;
};

void PrintTo(const RedactionCase& c, std::ostream* out) {
    *out << c.name;
}

class RedactionTest : public testing::TestWithParam<RedactionCase> {};

TEST_P(RedactionTest, HidesOnlyPasswordValues) {
    EXPECT_EQ(RedactPasswords(GetParam().input), GetParam().expected);
}

const RedactionCase kCases[] = {
    {"TopLevel", LR"({"password":"s3cret","user":"bob"})", LR"({"password":"***","user":"bob"})"},
    {"Nested", LR"({"payload":{"a":[{"password":"x"}],"password":"y"}})",
     LR"({"payload":{"a":[{"password":"***"}],"password":"***"}})"},
    {"WhitespaceAroundColon", L"{\"password\" \t\r\n:\n \"pw\"}",
     L"{\"password\" \t\r\n:\n \"***\"}"},
    {"EscapedQuotesInValue", LR"({"password":"a\"b\\","next":"keep"})",
     LR"({"password":"***","next":"keep"})"},
    {"EscapedKeySpelling", LR"({"pass\u0077ord":"x"})", LR"({"pass\u0077ord":"***"})"},
    {"EmptyValue", LR"({"password":""})", LR"({"password":"***"})"},
    {"ValuesOfEveryType",
     LR"({"password":80417723,"p":{"password":null},"q":{"password" : true},"r":[{"password":-1.5e3}]})",
     LR"({"password":"***","p":{"password":"***"},"q":{"password" : "***"},"r":[{"password":"***"}]})"},
    {"ContainerValueHiddenWhole",
     LR"({"password":["s3cret",{"k":"]}"}],"password":{"a":[1,{"b":"x"}]},"next":"keep"})",
     LR"({"password":"***","password":"***","next":"keep"})"},
    {"UnterminatedContainerValue", LR"({"password":[1,"x)", LR"({"password":"***")"},
    {"PasswordAsValue", LR"({"user":"password","b":["password","x"]})",
     LR"({"user":"password","b":["password","x"]})"},
    {"OtherKeysKept", LR"({"Password":"a","passwords":"b","password ":"c","xpassword":"d"})",
     LR"({"Password":"a","passwords":"b","password ":"c","xpassword":"d"})"},
    {"KeyInsideValueText", LR"({"note":"\"password\":\"x\""})",
     LR"({"note":"\"password\":\"x\""})"},
    {"UnterminatedValue", LR"({"password":"abc)", LR"({"password":"***)"},
    {"UnterminatedValueEndingInBackslash", L"{\"password\":\"ab\\", L"{\"password\":\"***"},
    {"UnterminatedKey", LR"({"password)", LR"({"password)"},
    {"ColonWithoutValue", LR"({"password":)", LR"({"password":)"},
    {"NotJson", L"plain words, password: x", L"plain words, password: x"},
    {"BrokenJsonStillHidden", LR"(garbage "password":"x" more)",
     LR"(garbage "password":"***" more)"},
    {"LoneQuote", L"\"", L"\""},
    {"Empty", L"", L""},
    {"NonAscii", L"{\"password\":\"\x00e9\xd83d\xde00\",\"n\":\"\x00e9\"}",
     L"{\"password\":\"***\",\"n\":\"\x00e9\"}"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RedactionTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<RedactionCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(RedactionLargeInput, ManyMembersAndLongRunsStayLinear) {
    std::wstring input = L"{";
    std::wstring expected = L"{";
    for (int i = 0; i < 100000; ++i) {
        input += L"\"password\":\"secret\",\"k\":\"v\",";
        expected += L"\"password\":\"***\",\"k\":\"v\",";
    }
    // Long stretches that a backtracking scan would walk again and again.
    input += std::wstring(1000000, L'\\') + std::wstring(500000, L'"') + L"}";
    expected += std::wstring(1000000, L'\\') + std::wstring(500000, L'"') + L"}";
    EXPECT_EQ(RedactPasswords(input), expected);
}

TEST(RedactionLargeInput, LongSecretIsHiddenWhole) {
    const std::wstring input = L"{\"password\":\"" + std::wstring(2000000, L'x') + L"\"}";
    EXPECT_EQ(RedactPasswords(input), L"{\"password\":\"***\"}");
}

}  // namespace
}  // namespace browser_extensions
