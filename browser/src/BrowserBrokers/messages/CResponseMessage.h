#pragma once

#include <map>
#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// The extension's reply to a request of the agent: every member of the payload, by name.
class CResponseMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    ~CResponseMessage();
    explicit CResponseMessage(const std::wstring& requestID) : m_requestID(requestID) {}

    void Serialize(json::Object& object) const override;
    // Every member must be a string: the first one that is not stops reading with a type error,
    // keeping the members before it (in key order).
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, const std::wstring& tabID) override;

    std::map<std::wstring, std::wstring> m_values;
    std::wstring m_requestID;
};

}  // namespace browser_extensions
