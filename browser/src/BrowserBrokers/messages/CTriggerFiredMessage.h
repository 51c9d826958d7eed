#pragma once

#include <memory_resource>
#include <string>

#include "messages/CAgentMap.h"
#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// A trigger fired on a page, with the values it captured.
class CTriggerFiredMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    // Its texts are kept in `memory`.
    explicit CTriggerFiredMessage(
        std::pmr::memory_resource* memory = std::pmr::get_default_resource());
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, std::wstring_view tabID) override;

    json::String m_triggerId;
    TextMap m_values;  // by signature
};

}  // namespace browser_extensions
