#pragma once

#include <memory_resource>
#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// A line for the agent's log, at the level the extension gives it.
class CLogMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    // Its texts are kept in `memory`.
    explicit CLogMessage(std::pmr::memory_resource* memory = std::pmr::get_default_resource());
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, std::wstring_view tabID) override;

    int m_level = 0;
    json::String m_message;
};

}  // namespace browser_extensions
