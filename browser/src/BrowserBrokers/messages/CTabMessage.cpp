#include "messages/CTabMessage.h"

#include <string_view>
#include <utility>

#include "messages/CBasicAuthMessage.h"
#include "messages/CDocumentCompleteMessage.h"
#include "messages/CLogMessage.h"
#include "messages/CResponseMessage.h"
#include "messages/CSaveCredentialsMessage.h"
#include "messages/CTriggerFailedMessage.h"
#include "messages/CTriggerFiredMessage.h"
#include "messages/JsonMembers.h"
#include "protect/WipeText.h"

namespace browser_extensions {

CTabMessage::~CTabMessage() {
    WipeText(m_tabID);
    WipeText(m_type);
    WipeText(m_requestID);
}

using namespace std::string_view_literals;

void CTabMessage::Serialize(json::Object& object) const {
    object[L"tabID"] = m_tabID;
    if (!m_requestID.empty()) {
        object[L"requestID"] = m_requestID;
    }
    object[L"type"] = m_type;
    if (m_payload) {
        json::Object payload;
        m_payload->Serialize(payload);
        object[L"payload"] = std::move(payload);
    }
}

void CTabMessage::Deserialize(json::Object&& object) {
    m_tabID = JsonGetString(object, L"tabID");
    m_requestID = JsonGetString(object, L"requestID");
    m_type = JsonGetString(object, L"type");
    if (!m_requestID.empty()) {
        m_payload = std::make_shared<CResponseMessage>(m_requestID);
    } else {
        m_payload = CreatePayload(m_type);
    }
    if (!m_payload) {
        return;
    }
    // A missing "payload", or one that is not an object, reads as an empty object.
    json::Object* payload = JsonFindObject(object, L"payload");
    m_payload->Deserialize(payload != nullptr ? std::move(*payload) : json::Object());
}

std::shared_ptr<IJsonSerializable> CreatePayload(const std::wstring& type) {
    if (type == L"log"sv) {
        return std::make_shared<CLogMessage>();
    }
    if (type == L"triggerFired"sv) {
        return std::make_shared<CTriggerFiredMessage>();
    }
    if (type == L"triggerFailed"sv) {
        return std::make_shared<CTriggerFailedMessage>();
    }
    if (type == L"documentComplete"sv) {
        return std::make_shared<CDocumentCompleteMessage>();
    }
    if (type == L"basicAuthentication"sv) {
        return std::make_shared<CBasicAuthMessage>();
    }
    if (type == L"saveCredentials"sv) {
        return std::make_shared<CSaveCredentialsMessage>();
    }
    return nullptr;
}

}  // namespace browser_extensions
