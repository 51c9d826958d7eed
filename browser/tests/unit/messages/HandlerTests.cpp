#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "FakeAgent.h"
#include "MessageTestSupport.h"
#include "messages/CTabMessage.h"

namespace browser_extensions {
namespace {

using message_test::DebugCapture;
using StringMap = std::map<std::wstring, std::wstring>;

struct ExpectedCall {
    std::string function;
    std::vector<std::wstring> strings;
    StringMap values;
    bool flag;
    int level;
};

struct HandleCase {
    const char* name;
    std::wstring text;
    bool handled;
    std::vector<std::string> debugLines;
    std::vector<ExpectedCall> calls;
};

std::vector<HandleCase> HandleCases() {
    return {
        {"log",
         LR"({"tabID":"12","type":"log","payload":{"level":2,"message":"hi"}})",
         true,
         {},
         {{"WriteLog", {L"hi"}, {}, false, 2}}},
        {"log without level",
         LR"({"type":"log","payload":{"message":"x"}})",
         true,
         {},
         {{"WriteLog", {L"x"}, {}, false, 0}}},
        {"log without message", LR"({"type":"log","payload":{"level":2}})", false, {}, {}},
        {"trigger fired",
         LR"({"tabID":"12","type":"triggerFired","payload":{"triggerId":"t1",)"
         LR"("values":[{"signature":"s","value":"v"}]}})",
         true,
         {"Calling NotifyTriggerFired"},
         {{"NotifyTriggerFired", {L"12", L"t1"}, {{L"s", L"v"}}, false, 0}}},
        {"trigger fired without values",
         LR"({"tabID":"1","type":"triggerFired"})",
         true,
         {"Calling NotifyTriggerFired"},
         {{"NotifyTriggerFired", {L"1", L""}, {}, false, 0}}},
        {"trigger failed",
         LR"({"tabID":"12","type":"triggerFailed","payload":{"triggerId":"t2"}})",
         true,
         {},
         {{"NotifyTriggerFailed", {L"12", L"t2"}, {}, false, 0}}},
        {"document complete",
         LR"({"tabID":"12","type":"documentComplete","payload":{"url":"https://a.example/",)"
         LR"("bTopLvlDoc":"TRUE"}})",
         true,
         {"Calling OnDocumentComplete"},
         {{"OnDocumentComplete", {L"12", L"https://a.example/"}, {}, true, 0}}},
        {"document complete with boolean flag",
         LR"({"tabID":"1","type":"documentComplete","payload":{"url":"u","bTopLvlDoc":true}})",
         true,
         {"Calling OnDocumentComplete"},
         {{"OnDocumentComplete", {L"1", L"u"}, {}, false, 0}}},
        {"basic authentication",
         LR"({"tabID":"12","type":"basicAuthentication","payload":{"host":"h.example"}})",
         true,
         {"Calling OnBasicAuthRequired"},
         {{"OnBasicAuthRequired", {L"12", L"h.example"}, {}, false, 0}}},
        {"save credentials",
         LR"({"tabID":"12","type":"saveCredentials","payload":{"host":"h","username":"u",)"
         LR"("password":"p"}})",
         true,
         {"Calling SaveCredentials"},
         {{"SaveCredentials", {L"12", L"h", L"u", L"p"}, {}, false, 0}}},
        {"response with empty tab",
         LR"({"type":"reply","requestID":"r1","payload":{"b":"2","a":"1"}})",
         true,
         {},
         {{"SendResponse", {L"", L"r1"}, {{L"a", L"1"}, {L"b", L"2"}}, false, 0}}},
    };
}

void ExpectCalls(const std::vector<fake_agent::Call>& actual,
                 const std::vector<ExpectedCall>& expected, const char* name) {
    ASSERT_EQ(actual.size(), expected.size()) << name;
    for (std::size_t i = 0; i < actual.size(); ++i) {
        EXPECT_EQ(actual[i].function, expected[i].function) << name;
        EXPECT_EQ(actual[i].strings, expected[i].strings) << name;
        EXPECT_EQ(actual[i].values, expected[i].values) << name;
        EXPECT_EQ(actual[i].flag, expected[i].flag) << name;
        EXPECT_EQ(actual[i].level, expected[i].level) << name;
    }
}

bool HandleEnvelope(const std::wstring& text, const Sender& sender) {
    CTabMessage message;
    message.FromJsonString(text);
    auto* handler = dynamic_cast<CHandlerBase*>(message.m_payload.get());
    if (handler == nullptr) {
        ADD_FAILURE() << "no handler for " << testing::PrintToString(text);
        return false;
    }
    return handler->Handle(sender, message.m_tabID);
}

TEST(PayloadHandlers, PassFieldsToTheAgentInOrder) {
    fake_agent::Reset();
    DebugCapture debug;
    for (const HandleCase& c : HandleCases()) {
        EXPECT_EQ(HandleEnvelope(c.text, Sender()), c.handled) << c.name;
        EXPECT_EQ(debug.Take(), c.debugLines) << c.name;
        ExpectCalls(fake_agent::TakeCalls(), c.calls, c.name);
    }
}

TEST(PayloadHandlers, AgentKeepsAWorkingReplyFunctionAfterTheMessageIsGone) {
    const std::vector<std::wstring> texts = {
        LR"({"tabID":"1","type":"documentComplete","payload":{"url":"u"}})",
        LR"({"tabID":"1","type":"basicAuthentication","payload":{"host":"h"}})",
    };
    for (const std::wstring& text : texts) {
        fake_agent::Reset();
        auto sent = std::make_shared<std::vector<std::pair<std::wstring, std::wstring>>>();
        HandleEnvelope(text, [sent](const std::wstring& first, const std::wstring& second) {
            sent->emplace_back(first, second);
        });
        std::vector<fake_agent::Call> calls = fake_agent::TakeCalls();
        ASSERT_EQ(calls.size(), 1u);
        ASSERT_TRUE(calls[0].reply) << calls[0].function;
        calls[0].reply(L"", L"reply text");
        calls[0].reply(L"x", L"second");
        const std::vector<std::pair<std::wstring, std::wstring>> expected = {{L"", L"reply text"},
                                                                             {L"x", L"second"}};
        EXPECT_EQ(*sent, expected) << calls[0].function;
    }
}

}  // namespace
}  // namespace browser_extensions
