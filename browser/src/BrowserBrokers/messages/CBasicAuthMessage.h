#pragma once

#include <memory_resource>
#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// A page asks for HTTP basic authentication.
class CBasicAuthMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    // Its texts are kept in `memory`.
    explicit CBasicAuthMessage(
        std::pmr::memory_resource* memory = std::pmr::get_default_resource());
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, std::wstring_view tabID) override;

    json::String m_host;
};

}  // namespace browser_extensions
