#pragma once

#include <map>
#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// A trigger fired on a page, with the values it captured.
class CTriggerFiredMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    ~CTriggerFiredMessage();
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, const std::wstring& tabID) override;

    std::wstring m_triggerId;
    std::map<std::wstring, std::wstring> m_values;
};

}  // namespace browser_extensions
