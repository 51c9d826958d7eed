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
        m_values[std::move(signature)] = JsonGetString(entry, L"value"sv);
    }
}

bool CTriggerFiredMessage::Handle(Sender /*sender*/, std::wstring_view tabID) {
    platform::DebugOutputW(L"Calling NotifyTriggerFired");
    kaprix_core::NotifyTriggerFired(CAgentText(tabID), CAgentText(m_triggerId),
                                    CAgentMap(m_values));
    return true;
}

}  // namespace browser_extensions
