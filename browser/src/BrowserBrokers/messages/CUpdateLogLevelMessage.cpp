#include "messages/CUpdateLogLevelMessage.h"

#include <cstdint>
#include <string_view>

#include "messages/JsonMembers.h"

namespace browser_extensions {

using namespace std::string_view_literals;

void CUpdateLogLevelMessage::Serialize(json::Object& object) const {
    object[L"type"] = m_type;
    object[L"level"] = static_cast<std::int64_t>(m_level);
}

void CUpdateLogLevelMessage::Deserialize(json::Object&& object) {
    m_type = JsonCopyString(object, L"type"sv);
    m_level = JsonGetInt(object, L"level"sv);
}

}  // namespace browser_extensions
