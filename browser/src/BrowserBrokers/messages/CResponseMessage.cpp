#include "messages/CResponseMessage.h"

#include <utility>

#include "agent/Varnhold64.h"
#include "protect/WipeText.h"

namespace browser_extensions {

CResponseMessage::~CResponseMessage() {
    WipeText(m_requestID);
}

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

bool CResponseMessage::Handle(Sender /*sender*/, const std::wstring& tabID) {
    kaprix_core::SendResponse(tabID, m_requestID, m_values);
    return true;
}

}  // namespace browser_extensions
