#include <gtest/gtest.h>

#include <climits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "MessageTestSupport.h"
#include "json/Writer.h"
#include "messages/CUpdateLogLevelMessage.h"

namespace browser_extensions {
namespace {

using message_test::AsStringMap;
using message_test::ObjectFrom;
using StringMap = std::map<std::wstring, std::wstring>;

TEST(LogMessage, ReadsLevelAsLow32BitsOfAnInteger) {
    struct Case {
        std::wstring payload;
        int level;
        std::wstring message;
    };
    const std::vector<Case> cases = {
        {LR"({"level":2,"message":"hi"})", 2, L"hi"},
        {LR"({"level":-1})", -1, L""},
        {LR"({"level":"2"})", 0, L""},
        {LR"({"level":2.5})", 0, L""},
        {LR"({"level":2.0})", 0, L""},
        {LR"({"level":4294967298})", 2, L""},
        {LR"({"level":2147483648})", INT_MIN, L""},
        {LR"({"level":18446744073709551615})", -1, L""},
        {LR"({"message":7})", 0, L""},
        {L"{}", 0, L""},
    };
    for (const Case& c : cases) {
        CLogMessage log;
        log.Deserialize(ObjectFrom(c.payload));
        EXPECT_EQ(log.m_level, c.level) << testing::PrintToString(c.payload);
        EXPECT_EQ(std::wstring_view(log.m_message), c.message) << testing::PrintToString(c.payload);
    }
}

TEST(TriggerFiredMessage, ReadsSignedValuesLaterOnesWinning) {
    struct Case {
        std::wstring payload;
        StringMap values;
    };
    const std::vector<Case> cases = {
        {LR"({"values":[{"signature":"a","value":"1"},{"signature":"","value":"2"},)"
         LR"({"value":"3"},{"signature":"a","value":"4"}]})",
         {{L"a", L"4"}}},
        {LR"({"values":[{"signature":"a","value":1},{"signature":"b"}]})",
         {{L"a", L""}, {L"b", L""}}},
        {LR"({"values":{"signature":"a","value":"1"}})", {}},
        {LR"({"values":"a"})", {}},
        {LR"({"triggerId":"t"})", {}},
    };
    for (const Case& c : cases) {
        CTriggerFiredMessage trigger;
        trigger.Deserialize(ObjectFrom(c.payload));
        EXPECT_EQ(AsStringMap(trigger.m_values), c.values) << testing::PrintToString(c.payload);
    }
}

TEST(TriggerFiredMessage, NonObjectElementStopsReadingKeepingEarlierEntries) {
    CTriggerFiredMessage trigger;
    json::Object payload = ObjectFrom(
        LR"({"triggerId":"t","values":[{"signature":"a","value":"1"},5,)"
        LR"({"signature":"b","value":"2"}]})");
    EXPECT_THROW(trigger.Deserialize(std::move(payload)), std::runtime_error);
    EXPECT_EQ(trigger.m_triggerId, L"t");
    EXPECT_EQ(AsStringMap(trigger.m_values), (StringMap{{L"a", L"1"}}));
}

TEST(DocumentCompleteMessage, TopLevelFlagIsTheWordTrueInAnyAsciiCase) {
    struct Case {
        std::wstring payload;
        bool topLevel;
    };
    const std::vector<Case> cases = {
        {LR"({"bTopLvlDoc":"true"})", true},        {LR"({"bTopLvlDoc":"TRUE"})", true},
        {LR"({"bTopLvlDoc":"tRuE"})", true},        {LR"({"bTopLvlDoc":"true "})", false},
        {LR"({"bTopLvlDoc":"1"})", false},          {LR"({"bTopLvlDoc":"yes"})", false},
        {LR"({"bTopLvlDoc":""})", false},           {LR"({"bTopLvlDoc":true})", false},
        {LR"({"bTopLvlDoc":"tru\u0435"})", false},   // Cyrillic look-alike
        {LR"({"bTopLvlDoc":"true\u0000x"})", true},  // compared as a C string, up to the NUL
        {LR"({"bTopLvlDoc":"\u0000true"})", false}, {L"{}", false},
    };
    for (const Case& c : cases) {
        CDocumentCompleteMessage document;
        document.m_bTopLvlDoc = !c.topLevel;
        document.Deserialize(ObjectFrom(c.payload));
        EXPECT_EQ(document.m_bTopLvlDoc, c.topLevel) << testing::PrintToString(c.payload);
    }
}

TEST(PayloadMessages, ReadTheirStringFields) {
    CDocumentCompleteMessage document;
    document.Deserialize(ObjectFrom(LR"({"url":"https://a.example/","bTopLvlDoc":"true"})"));
    EXPECT_EQ(document.m_url, L"https://a.example/");

    CBasicAuthMessage auth;
    auth.Deserialize(ObjectFrom(LR"({"host":"h.example"})"));
    EXPECT_EQ(auth.m_host, L"h.example");

    CTriggerFailedMessage failed;
    failed.Deserialize(ObjectFrom(LR"({"triggerId":"t9"})"));
    EXPECT_EQ(failed.m_triggerId, L"t9");

    CSaveCredentialsMessage credentials;
    credentials.Deserialize(ObjectFrom(LR"({"host":"h","username":"u","password":"p"})"));
    EXPECT_EQ(credentials.m_host, L"h");
    EXPECT_EQ(credentials.m_username, L"u");
    EXPECT_EQ(credentials.m_password, L"p");
    credentials.Deserialize(ObjectFrom(LR"({"host":"h2","username":"u2"})"));
    EXPECT_EQ(credentials.m_password, L"");
}

TEST(ResponseMessage, TakesEveryStringMemberUntilAnotherType) {
    struct Case {
        std::wstring payload;
        StringMap values;
        bool fails;
    };
    const std::vector<Case> cases = {
        {LR"({"b":"2","a":"1"})", {{L"a", L"1"}, {L"b", L"2"}}, false},
        {L"{}", {}, false},
        {LR"({"a":"1","b":2,"d":"3"})", {{L"a", L"1"}}, true},
        {LR"({"a":null})", {}, true},
    };
    for (const Case& c : cases) {
        CResponseMessage response(L"r");
        bool failed = false;
        try {
            response.Deserialize(ObjectFrom(c.payload));
        } catch (const std::runtime_error&) {
            failed = true;
        }
        EXPECT_EQ(failed, c.fails) << testing::PrintToString(c.payload);
        EXPECT_EQ(AsStringMap(response.m_values), c.values) << testing::PrintToString(c.payload);
        EXPECT_EQ(response.m_requestID, L"r");
    }
}

struct SerializedCase {
    const char* name;
    const IJsonSerializable* message;
    std::wstring expected;
};

TEST(PayloadMessages, SerializeTheirWireFields) {
    CLogMessage log;
    log.m_level = -1;
    log.m_message = L"m";
    CTriggerFiredMessage fired;
    fired.m_triggerId = L"t";
    fired.m_values[L"a"] = L"1";
    CTriggerFailedMessage failed;
    failed.m_triggerId = L"t";
    CDocumentCompleteMessage topLevel;
    topLevel.m_url = L"u";
    topLevel.m_bTopLvlDoc = true;
    CDocumentCompleteMessage frame;
    CBasicAuthMessage auth;
    auth.m_host = L"h";
    CSaveCredentialsMessage credentials;
    credentials.m_password = L"secret";
    CResponseMessage response(L"r");
    response.m_values = {{L"b", L"2"}, {L"a", L"1"}};

    const std::vector<SerializedCase> cases = {
        {"log", &log, LR"({"level":-1,"message":"m"})"},
        {"trigger fired", &fired, LR"({"triggerId":"t"})"},
        {"trigger failed", &failed, LR"({"triggerId":"t"})"},
        {"top-level document", &topLevel, LR"({"bTopLvlDoc":"true","url":"u"})"},
        {"frame document", &frame, LR"({"bTopLvlDoc":"false","url":""})"},
        {"basic authentication", &auth, L"{}"},
        {"save credentials", &credentials, L"{}"},
        {"response", &response, LR"({"a":"1","b":"2"})"},
    };
    for (const SerializedCase& c : cases) {
        EXPECT_EQ(c.message->ToJsonString(), c.expected) << c.name;
    }
}

TEST(UpdateLogLevelMessage, WritesLevelThenType) {
    for (const auto& [level, expected] : std::vector<std::pair<int, std::wstring>>{
             {3, LR"({"level":3,"type":"updateLogLevel"})"},
             {0, LR"({"level":0,"type":"updateLogLevel"})"},
             {-1, LR"({"level":-1,"type":"updateLogLevel"})"},
             {INT_MIN, LR"({"level":-2147483648,"type":"updateLogLevel"})"}}) {
        CUpdateLogLevelMessage message;
        message.m_level = level;
        EXPECT_EQ(message.ToJsonString(), expected);
    }
}

TEST(UpdateLogLevelMessage, SerializeReplacesItsMembersAndKeepsOthers) {
    CUpdateLogLevelMessage message;
    json::Object object = ObjectFrom(LR"({"level":9,"other":true})");
    message.Serialize(object);
    EXPECT_EQ(json::Write(object), LR"({"level":1,"other":true,"type":"updateLogLevel"})");
}

TEST(UpdateLogLevelMessage, ReadsOnlyIntegerLevels) {
    CUpdateLogLevelMessage message;
    message.Deserialize(ObjectFrom(LR"({"type":"updateLogLevel","level":"2"})"));
    EXPECT_EQ(message.m_level, 0);
    EXPECT_EQ(message.m_type, L"updateLogLevel");
    message.Deserialize(ObjectFrom(LR"({"level":4294967297})"));
    EXPECT_EQ(message.m_level, 1);
    EXPECT_EQ(message.m_type, L"");
}

}  // namespace
}  // namespace browser_extensions
