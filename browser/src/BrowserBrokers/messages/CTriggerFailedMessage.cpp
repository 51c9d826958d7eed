#include "messages/CTriggerFailedMessage.h"

#include "agent/Varnhold64.h"
#include "messages/CAgentText.h"
#include "messages/JsonMembers.h"

namespace browser_extensions {

CTriggerFailedMessage::CTriggerFailedMessage(std::pmr::memory_resource* memory)
    : m_triggerId(memory) {}

CTriggerFailedMessage::~CTriggerFailedMessage() {
    json::WipeString(m_triggerId);
}

void CTriggerFailedMessage::Serialize(json::Object& object) const {
    object[L"triggerId"] = m_triggerId;
}

void CTriggerFailedMessage::Deserialize(json::Object&& object) {
    m_triggerId = JsonGetString(object, L"triggerId");
}

bool CTriggerFailedMessage::Handle(Sender /*sender*/, std::wstring_view tabID) {
    kaprix_core::NotifyTriggerFailed(CAgentText(tabID), CAgentText(m_triggerId));
    return true;
}

}  // namespace browser_extensions
