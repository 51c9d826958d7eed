#include "messages/CTriggerFiredMessage.h"

#include <string_view>

#include "agent/Varnhold64.h"
#include "messages/CAgentText.h"
#include "messages/JsonMembers.h"
#include "platform/DebugOutput.h"

namespace browser_extensions {

using namespace std::string_view_literals;

CTriggerFiredMessage::CTriggerFiredMessage(std::pmr::memory_resource* memory)
    : m_triggerId(memory), m_values(memory) {}

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
    m_triggerId = JsonGetString(object, L"triggerId"sv);
    for (json::Value& element : JsonGetArray(object, L"values"sv)) {
        // An element that is not an object ends reading with a type error; entries stored from
        // earlier elements stay.
        json::Object& entry = element.AsObject();
        json::String signature = JsonGetString(entry, L"signature"sv);
        if (signature.empty()) {
            continue;
        }
        json::String& stored = m_values[std::move(signature)];
        WipeText(stored);  // a repeated signature's earlier value
        stored = JsonGetString(entry, L"value"sv);
    }
}

bool CTriggerFiredMessage::Handle(Sender /*sender*/, std::wstring_view tabID) {
    platform::DebugOutputW(L"Calling NotifyTriggerFired");
    kaprix_core::NotifyTriggerFired(CAgentText(tabID), CAgentText(m_triggerId),
                                    CAgentMap(m_values));
    return true;
}

}  // namespace browser_extensions
