#pragma once

#include <memory_resource>
#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// A trigger failed on a page.
class CTriggerFailedMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    // Its texts are kept in `memory`.
    explicit CTriggerFailedMessage(
        std::pmr::memory_resource* memory = std::pmr::get_default_resource());
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, std::wstring_view tabID) override;

    json::String m_triggerId;
};

}  // namespace browser_extensions
