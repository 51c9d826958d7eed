#include "handler/CMessageHandler.h"

#include <memory>
#include <string_view>
#include <utility>

#include "agent/Varnhold64.h"
#include "bridge/CBridgeState.h"
#include "handler/HostInfo.h"
#include "messages/CAgentText.h"
#include "messages/CHandlerBase.h"
#include "messages/CTabMessage.h"
#include "messages/CUpdateLogLevelMessage.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"
#include "protect/ProtectedString.h"
#include "protect/WipeText.h"
#include "redaction/Redaction.h"

namespace browser_extensions {

using namespace std::string_view_literals;
namespace {

// The host's own entries in the agent's log.
constexpr int kHostLogLevel = 3;

void ReportUnknownMessage(std::wstring_view text) {
    // Only diagnostics see the redacted text; nothing is passed on from here.
    std::wstring line = L"Unknown message sent = ";
    const CTextWipeGuard<std::wstring> wipeLine(line);
    std::wstring redacted = RedactSecrets(text);
    const CTextWipeGuard<std::wstring> wipeRedacted(redacted);
    line += redacted;
    platform::DebugOutputW(line);
    kaprix_utils::WriteLog(kHostLogLevel, line);
}

}  // namespace

CMessageHandler::CMessageHandler(Sender sender)
    : CMessageHandler(std::move(sender), kLogLevelPollPeriod) {}

CMessageHandler::CMessageHandler(Sender sender, std::chrono::milliseconds pollPeriod)
    : m_sender(std::move(sender)), m_stop(false), m_pollPeriod(pollPeriod) {}

CMessageHandler::~CMessageHandler() {
    {
        // Under the lock, so the monitor cannot miss the wake-up between its check and its wait.
        std::lock_guard<std::mutex> lock(m_wakeMutex);
        m_stop.store(true);
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

bool CMessageHandler::ProcessMessage(const char* body, std::wstring& type) {
    std::wstring text = Utf8ToWide(body);
    const CTextWipeGuard<std::wstring> wipeText(text);
    return ProcessText(text, type);
}

bool CMessageHandler::ProcessText(std::wstring& text, std::wstring& type) {
    // Redacting and joining the line costs more than the rest of a small message's handling, and
    // a large message's copies would multiply the memory it takes: built only for a listener.
    if (platform::DebugOutputEnabled()) {
        TraceMessage(text, type);
    }
    return Dispatch(text, type);
}

void CMessageHandler::TraceMessage(const std::wstring& text, const std::wstring& type) {
    std::wstring redacted = RedactSecrets(text);
    const CTextWipeGuard<std::wstring> wipeRedacted(redacted);
    constexpr std::wstring_view kPrefix = L"Process Message and Message Type:";
    constexpr std::wstring_view kMiddle = L"Message: ";
    std::wstring line;
    const CTextWipeGuard<std::wstring> wipeLine(line);
    line.reserve(kPrefix.size() + type.size() + kMiddle.size() + redacted.size());
    line.append(kPrefix).append(type).append(kMiddle).append(redacted);
    platform::DebugOutputW(line);
}

bool CMessageHandler::Dispatch(std::wstring& text, std::wstring& type) {
    bool handled = false;
    try {
        handled = DispatchEnvelope(text, type);
    } catch (...) {
        m_arena.Reset();
        throw;
    }
    m_arena.Reset();
    return handled;
}

// The envelope, which keeps its payload's texts in the arena, is gone when this returns.
bool CMessageHandler::DispatchEnvelope(std::wstring& text, std::wstring& type) {
    // Read in place: a copy of a large message would cost as much memory again.
    const std::wstring_view message(text.c_str());
    CTabMessage envelope(&m_arena);
    envelope.FromJsonString(message, &m_arena);

    if (envelope.m_type.empty()) {
        ReportUnknownMessage(message);
        return false;
    }

    type.assign(envelope.m_type);
    if (envelope.m_type == L"closeTab"sv) {
        kaprix_core::OnTabClosed(CAgentText(envelope.m_tabID));
        return true;
    }
    if (envelope.m_type == L"XPath"sv) {
        return true;  // the read loop relays it to the design tool
    }
    // Ahead of the payloads: a "requestID" on it makes no answer for the agent.
    if (envelope.m_type == L"hostInfo"sv) {
        m_sender(std::wstring(), ProtectString(HostInfoReply(CBridgeState::Process())));
        return true;
    }

    CHandlerBase* const handler = dynamic_cast<CHandlerBase*>(envelope.m_payload.get());
    if (handler == nullptr) {
        return false;
    }
    // The agent gets copies of the payload's texts: without the message's text, a long message
    // is held twice at most (the payload's texts, the agent's copies), never three times.
    ReleaseText(text);
    handler->Handle(m_sender, envelope.m_tabID);
    return true;
}

void CMessageHandler::Start() {
    m_stop.store(false);
    m_thread = std::thread(&CMessageHandler::MonitorLogLevel, this);
}

void CMessageHandler::MonitorLogLevel() {
    // Starts at 1, so any other level of the agent is announced at once.
    CUpdateLogLevelMessage lastAnnounced;
    while (!m_stop.load()) {
        PollLogLevel(lastAnnounced);
        WaitForNextPoll();
    }
}

void CMessageHandler::PollLogLevel(CUpdateLogLevelMessage& lastAnnounced) {
    const int level = kaprix_utils::GetLogLevel();
    platform::DebugOutputW(L"Log level: " + std::to_wstring(level));
    if (level == lastAnnounced.m_level) {
        return;
    }
    lastAnnounced.m_level = level;
    const std::wstring text = lastAnnounced.ToJsonString();
    m_sender(std::wstring(), ProtectString(text));
    kaprix_utils::WriteLog(kHostLogLevel, text);
}

void CMessageHandler::WaitForNextPoll() {
    std::unique_lock<std::mutex> lock(m_wakeMutex);
    m_wake.wait_for(lock, m_pollPeriod, [this] { return m_stop.load(); });
}

}  // namespace browser_extensions
