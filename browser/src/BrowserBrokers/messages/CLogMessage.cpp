#include "messages/CLogMessage.h"

#include <cstdint>
#include <string_view>

#include "agent/Varnhold64.h"
#include "messages/CAgentText.h"
#include "messages/JsonMembers.h"

namespace browser_extensions {

using namespace std::string_view_literals;

CLogMessage::CLogMessage(std::pmr::memory_resource* memory) : m_message(memory) {}

void CLogMessage::Serialize(json::Object& object) const {
    object[L"message"] = m_message;
    object[L"level"] = static_cast<std::int64_t>(m_level);
}

void CLogMessage::Deserialize(json::Object&& object) {
    m_message = JsonGetString(object, L"message"sv);
    m_level = JsonGetInt(object, L"level"sv);
}

bool CLogMessage::Handle(Sender /*sender*/, std::wstring_view /*tabID*/) {
    if (m_message.empty()) {
        return false;
    }
    kaprix_utils::WriteLog(m_level, CAgentText(m_message));
    return true;
}

}  // namespace browser_extensions
