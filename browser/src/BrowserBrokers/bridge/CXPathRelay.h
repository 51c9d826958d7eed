#pragma once

#include <string>

#include "bridge/CBridgeState.h"

namespace browser_extensions {

// Hands element-path messages from the extension to the bridge, unparsed.
class CXPathRelay {
  public:
    explicit CXPathRelay(const CBridgeState& state);

    // `body` is the message as received, NUL-terminated UTF-8; `text` receives it as UTF-16.
    // Writes the two trace lines, with any password hidden. Always true.
    bool Relay(const char* body, std::wstring& text) const;

    // Passes the text on to the bridge, on the calling thread; dropped while the bridge is not
    // ready. Returns whether the bridge received it.
    bool SendToBridge(const std::wstring& text) const;

    // Both steps for one message, as the read loop runs them.
    void operator()(const char* body) const;

  private:
    const CBridgeState& m_state;
};

// The read loop's entry: relays to the process's bridge.
void RelayXPath(const char* body);

// The loader thread's body: loads the process's bridge, with `callback` for its messages.
void LoadBridge(BridgeCallback callback);

}  // namespace browser_extensions
