#include "messages/CTriggerFiredMessage.h"

#include "agent/Varnhold64.h"
#include "messages/JsonMembers.h"
#include "platform/DebugOutput.h"
#include "protect/WipeText.h"

namespace browser_extensions {

CTriggerFiredMessage::~CTriggerFiredMessage() {
    WipeText(m_triggerId);
    // The captured form values (a password field's among them); keys are signatures, no secret.
    for (auto& entry : m_values) {
        WipeText(entry.second);
    }
}

void CTriggerFiredMessage::Serialize(json::Object& object) const {
    object[L"triggerId"] = m_triggerId;
}

void CTriggerFiredMessage::Deserialize(json::Object&& object) {
    m_triggerId = JsonGetString(object, L"triggerId");
    for (json::Value& element : JsonGetArray(object, L"values")) {
        // An element that is not an object ends reading with a type error; entries stored from
        // earlier elements stay.
        json::Object& entry = element.AsObject();
        std::wstring signature = JsonGetString(entry, L"signature");
        if (signature.empty()) {
            continue;
        }
        std::wstring& stored = m_values[std::move(signature)];
        WipeText(stored);  // a repeated signature's earlier value
        stored = JsonGetString(entry, L"value");
    }
}

bool CTriggerFiredMessage::Handle(Sender /*sender*/, const std::wstring& tabID) {
    platform::DebugOutputW(L"Calling NotifyTriggerFired");
    kaprix_core::NotifyTriggerFired(tabID, m_triggerId, m_values);
    return true;
}

}  // namespace browser_extensions
