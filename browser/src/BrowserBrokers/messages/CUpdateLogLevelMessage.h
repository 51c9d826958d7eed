#pragma once

#include <string>

#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// Tells the extension the agent's current log level; sent bare, without an envelope.
class CUpdateLogLevelMessage final : public IJsonSerializable {
  public:
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;

    std::wstring m_type = L"updateLogLevel";
    int m_level = 1;
};

}  // namespace browser_extensions
