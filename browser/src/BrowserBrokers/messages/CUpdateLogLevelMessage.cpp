#include "messages/CUpdateLogLevelMessage.h"

#include <cstdint>

#include "messages/JsonMembers.h"

namespace browser_extensions {

void CUpdateLogLevelMessage::Serialize(json::Object& object) const {
    object[L"type"] = m_type;
    object[L"level"] = static_cast<std::int64_t>(m_level);
}

void CUpdateLogLevelMessage::Deserialize(json::Object&& object) {
    m_type = JsonCopyString(object, L"type");
    m_level = JsonGetInt(object, L"level");
}

}  // namespace browser_extensions
