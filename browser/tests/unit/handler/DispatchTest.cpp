#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "HandlerTestSupport.h"
#include "handler/CMessageHandler.h"
#include "protect/ProtectedString.h"

namespace {

using browser_extensions::CMessageHandler;
using handler_test::DebugCapture;
using handler_test::DescribeAll;
using handler_test::RecordingSender;
using testing::ElementsAre;
using testing::ElementsAreArray;

const std::string kTrace = "Process Message and Message Type:Message: ";

struct DispatchCase {
    const char* name;
    std::string body;
    bool result;
    std::wstring type;  // after the call; every case starts from "before"
    std::vector<std::string> agentCalls;
    std::vector<std::string> sent = {};  // what the handler itself sent, unprotected
};

class Dispatching : public testing::TestWithParam<DispatchCase> {
  protected:
    void SetUp() override { fake_agent::Reset(); }
};

TEST_P(Dispatching, ActsOnExactlyTheRightRow) {
    const DispatchCase& c = GetParam();
    RecordingSender sender;
    CMessageHandler handler(sender.Function());
    std::wstring type = L"before";

    EXPECT_EQ(handler.ProcessMessage(c.body.c_str(), type), c.result);
    EXPECT_EQ(type, c.type);
    EXPECT_THAT(DescribeAll(fake_agent::TakeCalls()), ElementsAreArray(c.agentCalls));
    // Only hostInfo is answered here: the payloads' handlers never send by themselves.
    std::vector<std::string> sent;
    for (const auto& [first, second] : sender.Calls()) {
        EXPECT_NE(second, browser_extensions::UnprotectString(second)) << "sent unprotected";
        sent.push_back(browser_extensions::WideToUtf8(browser_extensions::UnprotectString(second)));
    }
    EXPECT_THAT(sent, ElementsAreArray(c.sent));
}

const std::string kUnknown = "WriteLog(3,Unknown message sent = ";
// Nothing loads the process's bridge in this program.
const std::string kHostInfo =
    R"({"bridge":"loading","name":")" QUENLOW_BUILT_HOST_NAME
    R"(","protocol":1,"type":"hostInfo","version":")" QUENLOW_BUILT_VERSION R"("})";

INSTANTIATE_TEST_SUITE_P(
    DecisionTable, Dispatching,
    testing::Values(
        DispatchCase{"empty_object", "{}", false, L"before", {kUnknown + "{})"}},
        DispatchCase{"not_json", "hello", false, L"before", {kUnknown + "***)"}},
        DispatchCase{"empty_type",
                     R"({"type":"","tabID":"1"})",
                     false,
                     L"before",
                     {kUnknown + R"({"type":"","tabID":"1"}))"}},
        DispatchCase{
            "type_not_a_string", R"({"type":5})", false, L"before", {kUnknown + R"({"type":5}))"}},
        DispatchCase{"request_without_type_is_unknown",
                     R"({"tabID":"1","requestID":"r"})",
                     false,
                     L"before",
                     {kUnknown + R"({"tabID":"1","requestID":"r"}))"}},
        DispatchCase{"close_tab",
                     R"({"tabID":"7","type":"closeTab"})",
                     true,
                     L"closeTab",
                     {"OnTabClosed(7)"}},
        DispatchCase{"close_tab_without_tab",
                     R"({"type":"closeTab"})",
                     true,
                     L"closeTab",
                     {"OnTabClosed()"}},
        DispatchCase{"close_tab_wins_over_request",
                     R"({"tabID":"7","type":"closeTab","requestID":"r1","payload":{"a":"1"}})",
                     true,
                     L"closeTab",
                     {"OnTabClosed(7)"}},
        DispatchCase{
            "xpath", R"({"tabID":"7","type":"XPath","payload":{"x":"1"}})", true, L"XPath", {}},
        DispatchCase{
            "xpath_with_request", R"({"type":"XPath","requestID":"r"})", true, L"XPath", {}},
        DispatchCase{"host_info", R"({"type":"hostInfo"})", true, L"hostInfo", {}, {kHostInfo}},
        DispatchCase{"host_info_with_request_is_no_answer",
                     R"({"tabID":"7","type":"hostInfo","requestID":"r5","payload":{"k":"v"}})",
                     true,
                     L"hostInfo",
                     {},
                     {kHostInfo}},
        DispatchCase{"host_info_other_case", R"({"type":"HostInfo"})", false, L"HostInfo", {}},
        DispatchCase{
            "close_tab_other_case", R"({"tabID":"7","type":"CloseTab"})", false, L"CloseTab", {}},
        DispatchCase{"xpath_other_case", R"({"type":"xpath"})", false, L"xpath", {}},
        DispatchCase{"log_other_case",
                     R"({"type":"Log","payload":{"level":1,"message":"m"}})",
                     false,
                     L"Log",
                     {}},
        DispatchCase{"other_case_with_request_is_a_response",
                     R"({"tabID":"7","type":"CloseTab","requestID":"r2","payload":{"k":"v"}})",
                     true,
                     L"CloseTab",
                     {"SendResponse(7,r2,{k=v})"}},
        DispatchCase{"unhandled_type",
                     R"({"tabID":"7","type":"updateLogLevel"})",
                     false,
                     L"updateLogLevel",
                     {}},
        DispatchCase{"response",
                     R"({"type":"answer","requestID":"r3","payload":{"b":"2","a":"1"}})",
                     true,
                     L"answer",
                     {"SendResponse(,r3,{a=1;b=2})"}},
        DispatchCase{"response_to_a_payload_type",
                     R"({"tabID":"4","type":"log","requestID":"r4","payload":{"message":"m"}})",
                     true,
                     L"log",
                     {"SendResponse(4,r4,{message=m})"}},
        DispatchCase{"log",
                     R"({"tabID":"7","type":"log","payload":{"level":2,"message":"hi"}})",
                     true,
                     L"log",
                     {"WriteLog(2,hi)"}},
        DispatchCase{"log_without_level",
                     R"({"type":"log","payload":{"message":"hi"}})",
                     true,
                     L"log",
                     {"WriteLog(0,hi)"}},
        DispatchCase{"log_with_empty_message",
                     R"({"type":"log","payload":{"level":2,"message":""}})",
                     true,
                     L"log",
                     {}},
        DispatchCase{"trigger_fired",
                     R"({"tabID":"7","type":"triggerFired","payload":{"triggerId":"t1","values":)"
                     R"([{"signature":"s1","value":"v1"},{"signature":"s0","value":"v0"}]}})",
                     true,
                     L"triggerFired",
                     {"NotifyTriggerFired(7,t1,{s0=v0;s1=v1})"}},
        DispatchCase{"trigger_fired_without_values",
                     R"({"tabID":"7","type":"triggerFired","payload":{"triggerId":"t1"}})",
                     true,
                     L"triggerFired",
                     {"NotifyTriggerFired(7,t1,{})"}},
        DispatchCase{"trigger_failed",
                     R"({"tabID":"7","type":"triggerFailed","payload":{"triggerId":"t2"}})",
                     true,
                     L"triggerFailed",
                     {"NotifyTriggerFailed(7,t2)"}},
        DispatchCase{"document_complete",
                     R"({"tabID":"7","type":"documentComplete","payload":{"url":"https://a/",)"
                     R"("bTopLvlDoc":"TRUE"}})",
                     true,
                     L"documentComplete",
                     {"OnDocumentComplete(7,https://a/,true)"}},
        DispatchCase{"document_complete_boolean_flag",
                     R"({"tabID":"7","type":"documentComplete","payload":{"url":"u",)"
                     R"("bTopLvlDoc":true}})",
                     true,
                     L"documentComplete",
                     {"OnDocumentComplete(7,u,false)"}},
        DispatchCase{"basic_authentication",
                     R"({"tabID":"7","type":"basicAuthentication","payload":{"host":"h"}})",
                     true,
                     L"basicAuthentication",
                     {"OnBasicAuthRequired(7,h)"}},
        DispatchCase{"save_credentials",
                     R"({"tabID":"7","type":"saveCredentials","payload":{"host":"h",)"
                     R"("username":"u","password":"p"}})",
                     true,
                     L"saveCredentials",
                     {"SaveCredentials(7,h,u,p)"}},
        DispatchCase{"payload_type_without_payload",
                     R"({"tabID":"7","type":"triggerFailed"})",
                     true,
                     L"triggerFailed",
                     {"NotifyTriggerFailed(7,)"}},
        DispatchCase{"payload_read_stops_partway",
                     R"({"tabID":"7","type":"saveCredentials","payload":{"host":"h",)"
                     R"("username":"u","password":"p"}} trailing)",
                     true,
                     L"saveCredentials",
                     {"SaveCredentials(7,h,u,p)"}}),
    [](const testing::TestParamInfo<DispatchCase>& info) { return info.param.name; });

TEST(Dispatch, UnknownMessageGoesToDebuggerThenAgentLog) {
    fake_agent::Reset();
    DebugCapture debug;
    CMessageHandler handler([](const std::wstring&, const std::wstring&) {});
    std::wstring type;

    EXPECT_FALSE(handler.ProcessMessage("[1]", type));

    EXPECT_THAT(debug.Lines(), ElementsAre(kTrace + R"(["***"])", "value type is 1 not 0",
                                           R"(Unknown message sent = ["***"])"));
    EXPECT_THAT(DescribeAll(fake_agent::TakeCalls()),
                ElementsAre(R"(WriteLog(3,Unknown message sent = ["***"]))"));
}

TEST(Dispatch, DocumentCompleteWritesTwoLinesInOrderAndCloseTabOne) {
    fake_agent::Reset();
    DebugCapture debug;
    CMessageHandler handler([](const std::wstring&, const std::wstring&) {});
    std::wstring type;
    const std::string document =
        R"({"tabID":"1","type":"documentComplete","payload":{"url":"u","bTopLvlDoc":"false"}})";
    const std::string close = R"({"tabID":"1","type":"closeTab"})";

    handler.ProcessMessage(document.c_str(), type);
    type.clear();
    handler.ProcessMessage(close.c_str(), type);

    EXPECT_THAT(debug.Lines(),
                ElementsAre(kTrace + document, "Calling OnDocumentComplete", kTrace + close));
}

TEST(Dispatch, TraceShowsTheTypeAsPassedIn) {
    DebugCapture debug;
    CMessageHandler handler([](const std::wstring&, const std::wstring&) {});
    std::wstring type = L"given";
    handler.ProcessMessage(R"({"type":"XPath"})", type);
    EXPECT_EQ(debug.Lines().at(0),
              "Process Message and Message Type:givenMessage: {\"type\":\"XPath\"}");
}

TEST(Dispatch, ReplyFunctionsReachTheSenderAfterTheMessageIsGone) {
    fake_agent::Reset();
    RecordingSender sender;
    {
        CMessageHandler handler(sender.Function());
        std::wstring type;
        handler.ProcessMessage(R"({"tabID":"1","type":"documentComplete","payload":{"url":"u"}})",
                               type);
        handler.ProcessMessage(R"({"tabID":"2","type":"basicAuthentication","payload":{}})", type);
    }
    std::vector<fake_agent::Call> calls = fake_agent::TakeCalls();
    ASSERT_EQ(calls.size(), 2u);
    for (fake_agent::Call& call : calls) {
        ASSERT_TRUE(call.reply) << call.function;
    }
    calls[0].reply(L"ignored", L"first");
    calls[1].reply(L"", L"second");
    calls[0].reply(L"", L"again");

    using Sent = std::pair<std::wstring, std::wstring>;
    EXPECT_THAT(sender.Calls(),
                ElementsAre(Sent{L"ignored", L"first"}, Sent{L"", L"second"}, Sent{L"", L"again"}));
}

struct RedactionCase {
    const char* name;
    std::string body;
    std::vector<std::string> debugLines;
    std::vector<std::string> agentCalls;
};

class Redacting : public testing::TestWithParam<RedactionCase> {};

// Diagnostics hide the secrets; the agent still receives them.
TEST_P(Redacting, HidesSecretsFromDiagnosticsOnly) {
    const RedactionCase& c = GetParam();
    fake_agent::Reset();
    DebugCapture debug;
    CMessageHandler handler([](const std::wstring&, const std::wstring&) {});
    std::wstring type;

    handler.ProcessMessage(c.body.c_str(), type);

    EXPECT_THAT(debug.Lines(), ElementsAreArray(c.debugLines));
    EXPECT_THAT(DescribeAll(fake_agent::TakeCalls()), ElementsAreArray(c.agentCalls));
}

INSTANTIATE_TEST_SUITE_P(
    Secrets, Redacting,
    testing::Values(
        RedactionCase{
            "save_credentials",
            R"({"type":"saveCredentials","tabID":"3","payload":{"host":"h","username":"u",)"
            R"("password":"s3cret"}})",
            {kTrace + R"({"type":"saveCredentials","tabID":"3","payload":{"host":"h",)"
                      R"("username":"u","password":"***"}})",
             "Calling SaveCredentials"},
            {"SaveCredentials(3,h,u,s3cret)"}},
        RedactionCase{"unknown_message",
                      R"({"tabID":"3","payload":{"password":"s3cret"}})",
                      {kTrace + R"({"tabID":"3","payload":{"password":"***"}})",
                       R"(Unknown message sent = {"tabID":"3","payload":{"password":"***"}})"},
                      {R"(WriteLog(3,Unknown message sent = {"tabID":"3","payload":)"
                       R"({"password":"***"}}))"}},
        RedactionCase{"response_keeps_its_members_for_the_agent",
                      R"({"type":"r","requestID":"q","payload":{"host":"h","password":"pw"}})",
                      {kTrace + R"({"type":"r","requestID":"q","payload":{"host":"***",)"
                                R"("password":"***"}})"},
                      {"SendResponse(,q,{host=h;password=pw})"}}),
    [](const testing::TestParamInfo<RedactionCase>& info) { return info.param.name; });

}  // namespace
