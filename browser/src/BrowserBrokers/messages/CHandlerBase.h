#pragma once

#include <string_view>

#include "messages/Sender.h"

namespace browser_extensions {

// Hands a received payload to the agent library. Payloads are owned as their own class, never
// deleted through this interface, so the destructor is protected.
class CHandlerBase {
  public:
    // `sender` is the way back to the extension, for handlers that give the agent a reply
    // function. Returns whether the payload was acted on.
    virtual bool Handle(Sender sender, std::wstring_view tabID) = 0;

  protected:
    CHandlerBase() = default;
    CHandlerBase(const CHandlerBase&) = default;
    CHandlerBase& operator=(const CHandlerBase&) = default;
    ~CHandlerBase() = default;
};

}  // namespace browser_extensions
