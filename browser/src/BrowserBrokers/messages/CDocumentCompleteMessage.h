#pragma once

#include <string>

#include "messages/CHandlerBase.h"
#include "messages/IJsonSerializable.h"

namespace browser_extensions {

// A document finished loading in a tab.
class CDocumentCompleteMessage final : public IJsonSerializable, public CHandlerBase {
  public:
    ~CDocumentCompleteMessage();
    void Serialize(json::Object& object) const override;
    void Deserialize(json::Object&& object) override;
    bool Handle(Sender sender, const std::wstring& tabID) override;

    std::wstring m_url;
    bool m_bTopLvlDoc = false;
};

}  // namespace browser_extensions
