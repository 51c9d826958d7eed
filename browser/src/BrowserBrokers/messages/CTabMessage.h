#pragma once

#include <memory>
#include <string>

#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// The envelope of every inbound message: the tab it concerns, its type, the request it answers
// and its typed payload.
class CTabMessage final : public IJsonSerializable {
  public:
    ~CTabMessage();
    void Serialize(json::Object& object) const override;
    // A non-empty "requestID" makes the payload a CResponseMessage whatever the type says;
    // otherwise the type chooses it (CreatePayload). A payload's own read error passes to the
    // caller after the envelope's fields and the payload have been set.
    void Deserialize(json::Object&& object) override;

    std::wstring m_tabID;
    std::wstring m_type;
    std::wstring m_requestID;
    std::shared_ptr<IJsonSerializable> m_payload;
};

// The payload class for an envelope type, default-made, or empty for a type without one.
std::shared_ptr<IJsonSerializable> CreatePayload(const std::wstring& type);

}  // namespace browser_extensions
