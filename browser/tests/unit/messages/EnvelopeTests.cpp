#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "MessageTestSupport.h"
#include "messages/CTabMessage.h"
#include "protect/CWipingArena.h"

namespace browser_extensions {
namespace {

using message_test::AsStringMap;
using message_test::DebugCapture;
using message_test::PayloadKind;

struct EnvelopeCase {
    const char* name;
    std::wstring text;
    std::wstring tabID;
    std::wstring type;
    std::wstring requestID;
    std::string payload;
    std::vector<std::string> debugLines;
};

std::vector<EnvelopeCase> EnvelopeCases() {
    return {
        {"log",
         LR"({"tabID":"12","type":"log","payload":{"level":2,"message":"hi"}})",
         L"12",
         L"log",
         L"",
         "log",
         {}},
        {"trigger fired",
         LR"({"tabID":"1","type":"triggerFired"})",
         L"1",
         L"triggerFired",
         L"",
         "triggerFired",
         {}},
        {"trigger failed",
         LR"({"type":"triggerFailed"})",
         L"",
         L"triggerFailed",
         L"",
         "triggerFailed",
         {}},
        {"document complete",
         LR"({"type":"documentComplete"})",
         L"",
         L"documentComplete",
         L"",
         "documentComplete",
         {}},
        {"basic authentication",
         LR"({"type":"basicAuthentication"})",
         L"",
         L"basicAuthentication",
         L"",
         "basicAuthentication",
         {}},
        {"save credentials",
         LR"({"type":"saveCredentials"})",
         L"",
         L"saveCredentials",
         L"",
         "saveCredentials",
         {}},
        {"type in another letter case", LR"({"type":"Log"})", L"", L"Log", L"", "none", {}},
        {"type with a letter more", LR"({"type":"logs"})", L"", L"logs", L"", "none", {}},
        {"close tab ignores its payload",
         LR"({"tabID":"3","type":"closeTab","payload":{}})",
         L"3",
         L"closeTab",
         L"",
         "none",
         {}},
        {"XPath has no payload class",
         LR"({"type":"XPath","payload":{}})",
         L"",
         L"XPath",
         L"",
         "none",
         {}},
        {"outbound type is not a payload",
         LR"({"type":"updateLogLevel"})",
         L"",
         L"updateLogLevel",
         L"",
         "none",
         {}},
        {"request id makes a response whatever the type",
         LR"({"tabID":"5","type":"log","requestID":"r7","payload":{"a":"1"}})",
         L"5",
         L"log",
         L"r7",
         "response",
         {}},
        {"request id without type still makes a response",
         LR"({"requestID":"r1"})",
         L"",
         L"",
         L"r1",
         "response",
         {}},
        {"empty request id counts as absent",
         LR"({"type":"log","requestID":""})",
         L"",
         L"log",
         L"",
         "log",
         {}},
        {"non-string request id counts as absent",
         LR"({"type":"log","requestID":7})",
         L"",
         L"log",
         L"",
         "log",
         {}},
        {"numeric tab id reads as empty",
         LR"({"tabID":12,"type":"log"})",
         L"",
         L"log",
         L"",
         "log",
         {}},
        {"non-string type reads as empty",
         LR"({"tabID":"1","type":["log"]})",
         L"1",
         L"",
         L"",
         "none",
         {}},
        {"members before a break are used",
         LR"({"tabID":"9","type":"log","payload":{"mess)",
         L"9",
         L"log",
         L"",
         "log",
         {}},
        {"array root", L"[1,2]", L"", L"", L"", "none", {"value type is 1 not 0"}},
        {"empty text", L"", L"", L"", L"", "none", {"value type is 6 not 0"}},
        {"not JSON", L"hello", L"", L"", L"", "none", {"value type is 6 not 0"}},
        {"number root", L"42", L"", L"", L"", "none", {"value type is 4 not 0"}},
        {"string root", LR"("x")", L"", L"", L"", "none", {"value type is 2 not 0"}},
        {"response with a non-string member",
         LR"({"tabID":"1","type":"reply","requestID":"r","payload":{"a":"1","b":2,"d":"3"}})",
         L"1",
         L"reply",
         L"r",
         "response",
         {"value type is 4 not 2"}},
        {"trigger values with a non-object element",
         LR"({"type":"triggerFired","payload":{"values":[{"signature":"a","value":"1"},5]}})",
         L"",
         L"triggerFired",
         L"",
         "triggerFired",
         {"value type is 4 not 0"}},
    };
}

TEST(TabMessage, ReadsEnvelopeAndChoosesPayload) {
    DebugCapture debug;
    for (const EnvelopeCase& c : EnvelopeCases()) {
        CTabMessage message;
        message.FromJsonString(c.text);
        EXPECT_EQ(std::wstring_view(message.m_tabID), c.tabID) << c.name;
        EXPECT_EQ(std::wstring_view(message.m_type), c.type) << c.name;
        EXPECT_EQ(std::wstring_view(message.m_requestID), c.requestID) << c.name;
        EXPECT_EQ(PayloadKind(message.m_payload), c.payload) << c.name;
        EXPECT_EQ(debug.Take(), c.debugLines) << c.name;
    }
}

TEST(TabMessage, PayloadReadsItsOwnFields) {
    CTabMessage message;
    message.FromJsonString(LR"({"tabID":"12","type":"log","payload":{"level":2,"message":"hi"}})");
    auto log = std::dynamic_pointer_cast<CLogMessage>(message.m_payload);
    ASSERT_TRUE(log);
    EXPECT_EQ(log->m_level, 2);
    EXPECT_EQ(log->m_message, L"hi");
}

TEST(TabMessage, ResponseCarriesTheRequestIdAndWhatWasReadBeforeAnError) {
    CTabMessage message;
    message.FromJsonString(
        LR"({"tabID":"1","type":"reply","requestID":"r","payload":{"a":"1","b":2,"d":"3"}})");
    auto response = std::dynamic_pointer_cast<CResponseMessage>(message.m_payload);
    ASSERT_TRUE(response);
    EXPECT_EQ(response->m_requestID, L"r");
    EXPECT_EQ(AsStringMap(response->m_values),
              (std::map<std::wstring, std::wstring>{{L"a", L"1"}}));
}

TEST(TabMessage, MissingOrNonObjectPayloadGivesDefaults) {
    for (const std::wstring payload :
         {L"", LR"(,"payload":"x")", LR"(,"payload":[1])", LR"(,"payload":null)"}) {
        CTabMessage message;
        message.FromJsonString(LR"({"type":"saveCredentials")" + payload + L"}");
        auto credentials = std::dynamic_pointer_cast<CSaveCredentialsMessage>(message.m_payload);
        ASSERT_TRUE(credentials) << testing::PrintToString(payload);
        EXPECT_EQ(credentials->m_host + credentials->m_username + credentials->m_password, L"");
    }
}

// The texts of an envelope read in an arena are taken out of the tree, not copied: a long message
// is then held once while it is read, however many fields take text from it.
TEST(TabMessage, KeepsItsTextsInTheMemoryItWasMadeIn) {
    CWipingArena arena;
    {
        CTabMessage message(&arena);
        message.FromJsonString(
            LR"({"tabID":"a tab id","type":"saveCredentials","requestID":"",)"
            LR"("payload":{"host":"host.example","username":"user name","password":"a password"}})",
            &arena);
        auto credentials = std::dynamic_pointer_cast<CSaveCredentialsMessage>(message.m_payload);
        ASSERT_TRUE(credentials);
        for (const json::String* text : {&message.m_tabID, &message.m_type, &credentials->m_host,
                                         &credentials->m_username, &credentials->m_password}) {
            EXPECT_EQ(text->get_allocator().resource(), &arena) << testing::PrintToString(*text);
        }
    }
    arena.Reset();
}

struct SerializeCase {
    const char* name;
    std::wstring tabID;
    std::wstring type;
    std::wstring requestID;
    std::shared_ptr<IJsonSerializable> payload;
    std::wstring expected;
};

std::shared_ptr<IJsonSerializable> ResponseWithA() {
    auto response = std::make_shared<CResponseMessage>(L"r");
    response->m_values[L"a"] = L"1";
    return response;
}

TEST(TabMessage, SerializesPresentMembersInKeyOrder) {
    const std::vector<SerializeCase> cases = {
        {"empty envelope", L"", L"", L"", nullptr, LR"({"tabID":"","type":""})"},
        {"payload writing nothing", L"1", L"basicAuthentication", L"",
         std::make_shared<CBasicAuthMessage>(),
         LR"({"payload":{},"tabID":"1","type":"basicAuthentication"})"},
        {"reply", L"t", L"x", L"r", ResponseWithA(),
         LR"({"payload":{"a":"1"},"requestID":"r","tabID":"t","type":"x"})"},
    };
    for (const SerializeCase& c : cases) {
        CTabMessage message;
        message.m_tabID = c.tabID;
        message.m_type = c.type;
        message.m_requestID = c.requestID;
        message.m_payload = c.payload;
        EXPECT_EQ(message.ToJsonString(), c.expected) << c.name;
    }
}

}  // namespace
}  // namespace browser_extensions
