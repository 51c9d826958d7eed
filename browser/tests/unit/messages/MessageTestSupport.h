#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "json/Reader.h"
#include "json/Value.h"
#include "messages/CBasicAuthMessage.h"
#include "messages/CDocumentCompleteMessage.h"
#include "messages/CLogMessage.h"
#include "messages/CResponseMessage.h"
#include "messages/CSaveCredentialsMessage.h"
#include "messages/CTriggerFailedMessage.h"
#include "messages/CTriggerFiredMessage.h"
#include "platform/DebugOutput.h"

namespace message_test {

using namespace browser_extensions;

// Captures every debugger line written while it lives.
class DebugCapture {
  public:
    DebugCapture() {
        platform::SetDebugSinkForTesting([this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(line);
        });
    }
    ~DebugCapture() { platform::SetDebugSinkForTesting(nullptr); }
    DebugCapture(const DebugCapture&) = delete;
    DebugCapture& operator=(const DebugCapture&) = delete;

    std::vector<std::string> Take() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return std::exchange(m_lines, {});
    }

  private:
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

inline json::Object ObjectFrom(const std::wstring& text) {
    json::Value value;
    json::Read(text, value);
    return value.AsObject();
}

// Names the payload's class, so a table can say which one an envelope made.
inline std::string PayloadKind(const std::shared_ptr<IJsonSerializable>& payload) {
    if (!payload) {
        return "none";
    }
    IJsonSerializable* p = payload.get();
    if (dynamic_cast<CLogMessage*>(p))
        return "log";
    if (dynamic_cast<CTriggerFiredMessage*>(p))
        return "triggerFired";
    if (dynamic_cast<CTriggerFailedMessage*>(p))
        return "triggerFailed";
    if (dynamic_cast<CDocumentCompleteMessage*>(p))
        return "documentComplete";
    if (dynamic_cast<CBasicAuthMessage*>(p))
        return "basicAuthentication";
    if (dynamic_cast<CSaveCredentialsMessage*>(p))
        return "saveCredentials";
    if (dynamic_cast<CResponseMessage*>(p))
        return "response";
    return "unexpected class";
}

}  // namespace message_test
