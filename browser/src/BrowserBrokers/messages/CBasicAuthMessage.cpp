#include "messages/CBasicAuthMessage.h"

#include <utility>

#include "agent/Varnhold64.h"
#include "messages/JsonMembers.h"
#include "platform/DebugOutput.h"
#include "protect/WipeText.h"

namespace browser_extensions {

CBasicAuthMessage::~CBasicAuthMessage() {
    WipeText(m_host);
}

void CBasicAuthMessage::Serialize(json::Object& /*object*/) const {}

void CBasicAuthMessage::Deserialize(json::Object&& object) {
    m_host = JsonGetString(object, L"host");
}

bool CBasicAuthMessage::Handle(Sender sender, const std::wstring& tabID) {
    platform::DebugOutputW(L"Calling OnBasicAuthRequired");
    // The agent keeps its own copy of the reply function and may call it at any later time.
    Sender reply = sender;
    kaprix_core::OnBasicAuthRequired(tabID, m_host, std::move(reply));
    return true;
}

}  // namespace browser_extensions
