#pragma once

#include <memory>
#include <memory_resource>
#include <string_view>

#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// The envelope of every inbound message: the tab it concerns, its type, the request it answers
// and its typed payload.
class CTabMessage final : public IJsonSerializable {
  public:
    // Its texts, and its payload's, are kept in `memory`.
    explicit CTabMessage(std::pmr::memory_resource* memory = std::pmr::get_default_resource());
    void Serialize(json::Object& object) const override;
    // A non-empty "requestID" makes the payload a CResponseMessage whatever the type says;
    // otherwise the type chooses it (CreatePayload). A payload's own read error passes to the
    // caller after the envelope's fields and the payload have been set. The texts are taken out
    // of `object`: made in the envelope's memory, a read moves them rather than copying them.
    void Deserialize(json::Object&& object) override;

    json::String m_tabID;
    json::String m_type;
    json::String m_requestID;
    std::shared_ptr<IJsonSerializable> m_payload;
};

// The payload class for an envelope type, default-made in `memory` with its texts, or empty for
// a type without one.
std::shared_ptr<IJsonSerializable> CreatePayload(std::wstring_view type,
                                                 std::pmr::memory_resource* memory);

}  // namespace browser_extensions
