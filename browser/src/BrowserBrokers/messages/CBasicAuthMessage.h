#pragma once

#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// A page asks for HTTP basic authentication.
class CBasicAuthMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    ~CBasicAuthMessage();
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, const std::wstring& tabID) override;

    std::wstring m_host;
};

}  // namespace browser_extensions
