#include "messages/CSaveCredentialsMessage.h"

#include "agent/Varnhold64.h"
#include "messages/JsonMembers.h"
#include "platform/DebugOutput.h"
#include "protect/WipeText.h"

namespace browser_extensions {

CSaveCredentialsMessage::~CSaveCredentialsMessage() {
    WipeText(m_host);
    WipeText(m_username);
    WipeText(m_password);
}

// Credentials are never written back out.
void CSaveCredentialsMessage::Serialize(json::Object& /*object*/) const {}

void CSaveCredentialsMessage::Deserialize(json::Object&& object) {
    m_host = JsonGetString(object, L"host");
    m_username = JsonGetString(object, L"username");
    m_password = JsonGetString(object, L"password");
}

bool CSaveCredentialsMessage::Handle(Sender /*sender*/, const std::wstring& tabID) {
    platform::DebugOutputW(L"Calling SaveCredentials");
    kaprix_core::SaveCredentials(tabID, m_host, m_username, m_password);
    return true;
}

}  // namespace browser_extensions
