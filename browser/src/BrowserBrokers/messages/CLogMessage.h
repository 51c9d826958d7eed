#pragma once

#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// A line for the agent's log, at the level the extension gives it.
class CLogMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    ~CLogMessage();
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, const std::wstring& tabID) override;

    int m_level = 0;
    std::wstring m_message;
};

}  // namespace browser_extensions
