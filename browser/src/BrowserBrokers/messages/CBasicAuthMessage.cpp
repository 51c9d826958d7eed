#include "messages/CBasicAuthMessage.h"

#include <string_view>
#include <utility>

#include "agent/Varnhold64.h"
#include "messages/CAgentText.h"
#include "messages/JsonMembers.h"
#include "platform/DebugOutput.h"

namespace browser_extensions {

using namespace std::string_view_literals;

CBasicAuthMessage::CBasicAuthMessage(std::pmr::memory_resource* memory) : m_host(memory) {}

void CBasicAuthMessage::Serialize(json::Object& /*object*/) const {}

void CBasicAuthMessage::Deserialize(json::Object&& object) {
    m_host = JsonGetString(object, L"host"sv);
}

bool CBasicAuthMessage::Handle(Sender sender, std::wstring_view tabID) {
    platform::DebugOutputW(L"Calling OnBasicAuthRequired");
    // The agent keeps its own copy of the reply function and may call it at any later time.
    Sender reply = sender;
    kaprix_core::OnBasicAuthRequired(CAgentText(tabID), CAgentText(m_host), std::move(reply));
    return true;
}

}  // namespace browser_extensions
