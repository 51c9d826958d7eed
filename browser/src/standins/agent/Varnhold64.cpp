// A tiny in-memory agent: it records every call in a journal, keeps saved credentials, and
// answers document and authentication notifications later, from a thread of its own.

#include <optional>
#include <utility>

#include "CCredentialStore.h"
#include "CReplyWorker.h"
#include "Journal.h"
#include "LogLevel.h"
#include "agent/Varnhold64.h"
#include "common/StandinFiles.h"
#include "json/Writer.h"
#include "platform/TextEncoding.h"
#include "protect/ProtectedString.h"
#include "protect/WipeText.h"

namespace json = browser_extensions::json;

namespace varnhold_standin {
namespace {

json::Value MapValue(const kaprix_core::StringMap& values) {
    json::Object object;
    for (const auto& [key, value] : values) {
        object[json::String(key)] = value;
    }
    return json::Value(std::move(object));
}

// Replies travel in protected form, as the host's reply functions expect them.
void QueueReply(kaprix_core::ReplyFunction reply, const json::Object& message) {
    std::wstring text = json::Write(json::Value(message));
    CReplyWorker::Instance().Enqueue(std::move(reply), browser_extensions::ProtectString(text));
    browser_extensions::WipeText(text);
}

json::Object BasicAuthReply(const std::wstring& tabId, const std::wstring& host) {
    json::Object reply;
    reply[L"host"] = host;
    reply[L"tabID"] = tabId;
    std::optional<Credentials> saved = CCredentialStore::Instance().Find(host);
    if (saved) {
        reply[L"type"] = L"basicAuthCredentials";
        reply[L"username"] = saved->userName;
        reply[L"password"] = saved->password;
        browser_extensions::WipeText(saved->password);
    } else {
        reply[L"type"] = L"basicAuthNoCredentials";
    }
    return reply;
}

// With VARNHOLD_REQUEST_ID set, the stand-in asks the extension something after every page, so
// that an extension's answer path (an envelope with that "requestID") can be tried against it.
std::optional<json::Object> PageRequest(const std::wstring& tabId) {
    const std::optional<std::string> requestId = standins::EnvironmentText("VARNHOLD_REQUEST_ID");
    if (!requestId) {
        return std::nullopt;
    }
    json::Object request;
    request[L"question"] = L"pageTitle";
    request[L"requestID"] = browser_extensions::Utf8ToWide(*requestId);
    request[L"tabID"] = tabId;
    request[L"type"] = L"agentRequest";
    return request;
}

}  // namespace
}  // namespace varnhold_standin

using varnhold_standin::JournalCall;

namespace kaprix_core {

int OnTabClosed(const std::wstring& tabId) {
    JournalCall(L"OnTabClosed", [&] { return json::Array{tabId}; });
    return 0;
}

void NotifyTriggerFired(const std::wstring& tabId, const std::wstring& triggerId,
                        const StringMap& values) {
    JournalCall(L"NotifyTriggerFired", [&] {
        return json::Array{tabId, triggerId, varnhold_standin::MapValue(values)};
    });
}

void NotifyTriggerFailed(const std::wstring& tabId, const std::wstring& triggerId) {
    JournalCall(L"NotifyTriggerFailed", [&] { return json::Array{tabId, triggerId}; });
}

void OnDocumentComplete(const std::wstring& tabId, const std::wstring& url, bool topLevelDocument,
                        ReplyFunction reply) {
    JournalCall(L"OnDocumentComplete", [&] { return json::Array{tabId, url, topLevelDocument}; });
    json::Object ack;
    ack[L"bTopLvlDoc"] = topLevelDocument ? L"true" : L"false";
    ack[L"tabID"] = tabId;
    ack[L"type"] = L"documentCompleteAck";
    ack[L"url"] = url;
    const std::optional<json::Object> request = varnhold_standin::PageRequest(tabId);
    if (request) {
        varnhold_standin::QueueReply(reply, ack);
        varnhold_standin::QueueReply(std::move(reply), *request);
    } else {
        varnhold_standin::QueueReply(std::move(reply), ack);
    }
}

void OnBasicAuthRequired(const std::wstring& tabId, const std::wstring& host, ReplyFunction reply) {
    JournalCall(L"OnBasicAuthRequired", [&] { return json::Array{tabId, host}; });
    varnhold_standin::QueueReply(std::move(reply), varnhold_standin::BasicAuthReply(tabId, host));
}

void SaveCredentials(const std::wstring& tabId, const std::wstring& host,
                     const std::wstring& userName, const std::wstring& password) {
    JournalCall(L"SaveCredentials", [&] { return json::Array{tabId, host, userName, password}; });
    varnhold_standin::CCredentialStore::Instance().Save(host, {userName, password});
}

void SendResponse(const std::wstring& tabId, const std::wstring& requestId,
                  const StringMap& values) {
    JournalCall(L"SendResponse", [&] {
        return json::Array{tabId, requestId, varnhold_standin::MapValue(values)};
    });
}

}  // namespace kaprix_core

namespace kaprix_utils {

int GetLogLevel() {
    JournalCall(L"GetLogLevel", [&] { return json::Array{}; });
    return varnhold_standin::CurrentLogLevel();
}

void WriteLog(int level, const std::wstring& text) {
    JournalCall(L"WriteLog", [&] { return json::Array{level, text}; });
}

}  // namespace kaprix_utils
