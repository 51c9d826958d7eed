#pragma once

#include <memory_resource>
#include <string_view>

#include "messages/CAgentMap.h"
#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// The extension's reply to a request of the agent: every member of the payload, by name.
class CResponseMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    // Its texts are kept in `memory`.
    explicit CResponseMessage(std::wstring_view requestID,
                              std::pmr::memory_resource* memory = std::pmr::get_default_resource());

    void Serialize(json::Object& object) const override;
    // Every member must be a string: the first one that is not stops reading with a type error,
    // keeping the members before it (in key order).
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, std::wstring_view tabID) override;

    TextMap m_values;
    json::String m_requestID;
};

}  // namespace browser_extensions
