#include "messages/CTriggerFailedMessage.h"

#include "agent/Varnhold64.h"
#include "messages/JsonMembers.h"
#include "protect/WipeText.h"

namespace browser_extensions {

CTriggerFailedMessage::~CTriggerFailedMessage() {
    WipeText(m_triggerId);
}

void CTriggerFailedMessage::Serialize(json::Object& object) const {
    object[L"triggerId"] = m_triggerId;
}

void CTriggerFailedMessage::Deserialize(json::Object&& object) {
    m_triggerId = JsonGetString(object, L"triggerId");
}

bool CTriggerFailedMessage::Handle(Sender /*sender*/, const std::wstring& tabID) {
    kaprix_core::NotifyTriggerFailed(tabID, m_triggerId);
    return true;
}

}  // namespace browser_extensions
