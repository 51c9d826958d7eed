#include "messages/CSaveCredentialsMessage.h"

#include <string_view>

#include "agent/Varnhold64.h"
#include "messages/CAgentText.h"
#include "messages/JsonMembers.h"
#include "platform/DebugOutput.h"

namespace browser_extensions {

using namespace std::string_view_literals;

CSaveCredentialsMessage::CSaveCredentialsMessage(std::pmr::memory_resource* memory)
    : m_host(memory), m_username(memory), m_password(memory) {}

// Credentials are never written back out.
void CSaveCredentialsMessage::Serialize(json::Object& /*object*/) const {}

void CSaveCredentialsMessage::Deserialize(json::Object&& object) {
    m_host = JsonGetString(object, L"host"sv);
    m_username = JsonGetString(object, L"username"sv);
    m_password = JsonGetString(object, L"password"sv);
}

bool CSaveCredentialsMessage::Handle(Sender /*sender*/, std::wstring_view tabID) {
    platform::DebugOutputW(L"Calling SaveCredentials");
    kaprix_core::SaveCredentials(CAgentText(tabID), CAgentText(m_host), CAgentText(m_username),
                                 CAgentText(m_password));
    return true;
}

}  // namespace browser_extensions
