#include "messages/CResponseMessage.h"

#include <utility>

#include "agent/Varnhold64.h"
#include "messages/CAgentText.h"

namespace browser_extensions {

CResponseMessage::CResponseMessage(std::wstring_view requestID, std::pmr::memory_resource* memory)
    : m_values(memory), m_requestID(requestID, memory) {}

void CResponseMessage::Serialize(json::Object& object) const {
    for (const auto& [name, text] : m_values) {
        object[name] = text;
    }
}

void CResponseMessage::Deserialize(json::Object&& object) {
    for (auto& [name, value] : object) {
        m_values[name] = std::move(value.AsString());
    }
}

bool CResponseMessage::Handle(Sender /*sender*/, std::wstring_view tabID) {
    kaprix_core::SendResponse(CAgentText(tabID), CAgentText(m_requestID), CAgentMap(m_values));
    return true;
}

}  // namespace browser_extensions
