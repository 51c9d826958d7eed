#include "messages/CTriggerFailedMessage.h"

#include <string_view>

#include "agent/Varnhold64.h"
#include "messages/CAgentText.h"
#include "messages/JsonMembers.h"

namespace browser_extensions {

using namespace std::string_view_literals;

CTriggerFailedMessage::CTriggerFailedMessage(std::pmr::memory_resource* memory)
    : m_triggerId(memory) {}

void CTriggerFailedMessage::Serialize(json::Object& object) const {
    object[L"triggerId"] = m_triggerId;
}

void CTriggerFailedMessage::Deserialize(json::Object&& object) {
    m_triggerId = JsonGetString(object, L"triggerId"sv);
}

bool CTriggerFailedMessage::Handle(Sender /*sender*/, std::wstring_view tabID) {
    kaprix_core::NotifyTriggerFailed(CAgentText(tabID), CAgentText(m_triggerId));
    return true;
}

}  // namespace browser_extensions
