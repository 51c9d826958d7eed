#pragma once

#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// Credentials the user typed, to be saved by the agent.
class CSaveCredentialsMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    ~CSaveCredentialsMessage();
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, const std::wstring& tabID) override;

    std::wstring m_host;
    std::wstring m_username;
    std::wstring m_password;
};

}  // namespace browser_extensions
