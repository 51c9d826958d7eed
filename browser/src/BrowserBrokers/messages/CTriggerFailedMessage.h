#pragma once

#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// A trigger failed on a page.
class CTriggerFailedMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    ~CTriggerFailedMessage();
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, const std::wstring& tabID) override;

    std::wstring m_triggerId;
};

}  // namespace browser_extensions
