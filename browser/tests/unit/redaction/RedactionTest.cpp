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

TEST_P(RedactionTest, ShowsOnlyTheValuesTheHostReads) {
    EXPECT_EQ(RedactSecrets(GetParam().input), GetParam().expected);
}

const RedactionCase kCases[] = {
    {"EnvelopeMembersShown", LR"({"tabID":"7","type":"closeTab","requestID":"","x":"s"})",
     LR"({"tabID":"7","type":"closeTab","requestID":"","x":"***"})"},
    {"PasswordHidden", LR"({"password":"s3cret","user":"bob"})",
     LR"({"password":"***","user":"***"})"},
    {"CredentialsPayload",
     LR"({"tabID":"3","type":"saveCredentials","payload":{"host":"h","username":"u","password":"p"}})",
     LR"({"tabID":"3","type":"saveCredentials","payload":{"host":"h","username":"u","password":"***"}})"},
    {"DocumentPayload",
     LR"({"type":"documentComplete","payload":{"url":"https://a.example/p","bTopLvlDoc":"true"}})",
     LR"({"type":"documentComplete","payload":{"url":"https://a.example/p","bTopLvlDoc":"true"}})"},
    {"UrlLosesQueryAndFragment",
     LR"({"payload":{"url":"https://a.example/cb?code=s3cret#t=x"},"n":{"url":"https://b/?q"}})",
     LR"({"payload":{"url":"https://a.example/cb"},"n":{"url":"***"}})"},
    {"UrlLosesEscapedQueryAndFragment",
     LR"({"payload":{"url":"https://a.example/\u003Fcode=1","url":"/a\u0023b"}})",
     LR"({"payload":{"url":"https://a.example/","url":"/a"}})"},
    {"UrlLosesUserAndPassword",
     LR"({"payload":{"url":"https://alice:s3@cret@a.example/@x?q","url":"http:\/\/u:p@h\/"}})",
     LR"({"payload":{"url":"https://***@a.example/@x","url":"http:\/\/***@h\/"}})"},
    {"UrlFragmentOnly", LR"({"payload":{"url":"/a\"b#c"}})", LR"({"payload":{"url":"/a\"b"}})"},
    {"TriggerValuesHiddenSignaturesShown",
     LR"({"type":"triggerFired","payload":{"triggerId":"t","values":[{"signature":"#pw","value":"s3cret"},5]}})",
     LR"({"type":"triggerFired","payload":{"triggerId":"t","values":[{"signature":"#pw","value":"***"},"***"]}})"},
    {"LogMessageShown", LR"({"type":"log","payload":{"level":2,"message":"hi"}})",
     LR"({"type":"log","payload":{"level":2,"message":"hi"}})"},
    {"LogMessageShownWhateverTheOrder", LR"({"payload":{"message":"hi"},"type":"l\u006fg"})",
     LR"({"payload":{"message":"hi"},"type":"l\u006fg"})"},
    {"MessageOfAnotherTypeHidden", LR"({"type":"XPath","payload":{"message":"m","xpath":"//a"}})",
     LR"({"type":"XPath","payload":{"message":"***","xpath":"***"}})"},
    {"MessageWithoutTypeHidden", LR"({"payload":{"message":"m","level":1}})",
     LR"({"payload":{"message":"***","level":1}})"},
    {"MessageHiddenWhenAnyTypeIsNotLog", LR"({"type":"log","type":"x","payload":{"message":"m"}})",
     LR"({"type":"log","type":"x","payload":{"message":"***"}})"},
    {"AnswerPayloadHiddenWhole",
     LR"({"type":"log","requestID":"r","payload":{"host":"h","message":"m","password":"p"}})",
     LR"({"type":"log","requestID":"r","payload":{"host":"***","message":"***","password":"***"}})"},
    {"RequestIdOfAnotherTypeMakesAnAnswer", LR"({"requestID":5,"payload":{"host":"h"}})",
     LR"({"requestID":5,"payload":{"host":"***"}})"},
    {"NamesShownOnlyInTheirPlace",
     LR"({"payload":{"tabID":"a","payload":{"host":"b"},"signature":"c"},"host":"d","p":{"tabID":"e"}})",
     LR"({"payload":{"tabID":"***","payload":{"host":"***"},"signature":"***"},"host":"***","p":{"tabID":"***"}})"},
    {"PayloadArrayIsNoPayload", LR"({"payload":[{"host":"h"}]})",
     LR"({"payload":[{"host":"***"}]})"},
    {"ShapeKeptInsideHiddenValues",
     LR"({"password":["s3cret",{"k":"]}"}],"q":{"a":[1,{"b":"x"}],"e":{},"f":[]}})",
     LR"({"password":["***",{"k":"***"}],"q":{"a":["***",{"b":"***"}],"e":{},"f":[]}})"},
    {"ValuesOfEveryType", LR"({"a":80417723,"b":null,"c" : true,"d":[-1.5e3,false],"tabID":7})",
     LR"({"a":"***","b":"***","c" : "***","d":["***","***"],"tabID":7})"},
    {"WhitespaceKept", L"{\"password\" \t\r\n:\n \"pw\" , \"tabID\" : \"1\" }",
     L"{\"password\" \t\r\n:\n \"***\" , \"tabID\" : \"1\" }"},
    {"EscapedQuotesInValue", LR"({"password":"a\"b\\","tabID":"keep"})",
     LR"({"password":"***","tabID":"keep"})"},
    {"EscapedKeySpelling", LR"({"t\u0061bID":"1","pass\u0077ord":"x","tabI\u0044\u0044":"y"})",
     LR"({"t\u0061bID":"1","pass\u0077ord":"***","tabI\u0044\u0044":"***"})"},
    {"NamesCompareExactly", LR"({"TabID":"a","tabID ":"b","type":"c"})",
     LR"({"TabID":"***","tabID ":"***","type":"c"})"},
    {"TopLevelNotAnObject", LR"(["tabID","x"])", LR"(["***","***"])"},
    {"NotJson", L"plain words, password: x", L"***"},
    {"TextAfterTheValueHidden", LR"({"tabID":"1"} "password":"x")", LR"({"tabID":"1"} ***)"},
    {"BrokenOffValueHidden", LR"({"tabID":"1","password":"abc)", LR"({"tabID":"1","password":***)"},
    {"BrokenOffShownValueHiddenToo", LR"({"tabID":"12)", LR"({"tabID":***)"},
    {"BrokenOffEndingInBackslash", L"{\"password\":\"ab\\", L"{\"password\":***"},
    {"BrokenOffKey", LR"({"tabID":"1","pass)", LR"({"tabID":"1",***)"},
    {"BrokenOffAfterCompleteMembers", LR"({"tabID":"1","type":"x")", LR"({"tabID":"1","type":"x")"},
    {"BrokenOffAfterColon", LR"({"password":)", LR"({"password":)"},
    {"UnknownBareWordHidden", LR"({"tabID":"1","x":secret,"tabID":"2"})",
     LR"({"tabID":"1","x":***)"},
    {"MalformedNumberHidden", LR"({"level":01})", LR"({"level":***)"},
    {"MissingColon", LR"({"tabID" "1"})", LR"({"tabID" ***)"},
    {"TrailingComma", LR"({"a":[1,],"tabID":"1"})", LR"({"a":["***",***)"},
    {"LoneQuote", L"\"", L"***"},
    {"Empty", L"", L""},
    {"NonAscii", L"{\"password\":\"\x00e9\xd83d\xde00\",\"tabID\":\"\x00e9\"}",
     L"{\"password\":\"***\",\"tabID\":\"\x00e9\"}"},
};

INSTANTIATE_TEST_SUITE_P(Cases, RedactionTest, testing::ValuesIn(kCases),
                         [](const testing::TestParamInfo<RedactionCase>& info) {
                             return std::string(info.param.name);
                         });

TEST(RedactionLargeInput, ManyMembersAndLongRunsStayLinear) {
    std::wstring input = L"{";
    std::wstring expected = L"{";
    for (int i = 0; i < 100000; ++i) {
        input += L"\"password\":\"secret\",\"tabID\":\"v\",";
        expected += L"\"password\":\"***\",\"tabID\":\"v\",";
    }
    // Long stretches that a backtracking scan would walk again and again.
    input += L"\"k\":\"" + std::wstring(1000000, L'\\') + std::wstring(500000, L'"') + L"}";
    expected += L"\"k\":\"***\"***";
    // Compared whole: a failure would print megabytes.
    EXPECT_TRUE(RedactSecrets(input) == expected);
}

TEST(RedactionLargeInput, DeepNestingNeedsNoRecursion) {
    const size_t depth = 1000000;
    const std::wstring input =
        std::wstring(depth, L'[') + L"\"s3cret\"" + std::wstring(depth, L']');
    const std::wstring expected =
        std::wstring(depth, L'[') + L"\"***\"" + std::wstring(depth, L']');
    EXPECT_TRUE(RedactSecrets(input) == expected);
}

TEST(RedactionLargeInput, LongSecretIsHiddenWhole) {
    const std::wstring input = L"{\"password\":\"" + std::wstring(2000000, L'x') + L"\"}";
    EXPECT_EQ(RedactSecrets(input), L"{\"password\":\"***\"}");
}

}  // namespace
}  // namespace browser_extensions
