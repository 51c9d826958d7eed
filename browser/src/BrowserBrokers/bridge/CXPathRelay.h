#pragma once

#include <chrono>
#include <string>

#include "bridge/CBridgeState.h"

namespace browser_extensions {

// Hands element-path messages from the extension to the bridge, unparsed.
class CXPathRelay {
  public:
    // How long the read loop waits, at most and once, for a bridge that is still loading. An
    // extension posts its first messages right after connecting, usually before the loader is done
    // (a few milliseconds natively, up to a second or two for a Windows library on a busy machine),
    // and a message dropped then is lost for good; five seconds covers that with room to spare,
    // while a bridge that hangs in its loading holds up the other messages only that long, once.
    static constexpr std::chrono::milliseconds kBridgeLoadWait{5000};

    explicit CXPathRelay(const CBridgeState& state,
                         std::chrono::milliseconds loadWait = kBridgeLoadWait);

    // Relays one message as the read loop does: writes the two trace lines for its text, with any
    // password hidden, then passes the text on to the bridge, on the calling thread, waiting
    // (bounded) for a bridge that is still loading. A text the bridge cannot take is dropped with
    // one debugger line that says why.
    void operator()(const std::wstring& text) const;

  private:
    const CBridgeState& m_state;
    std::chrono::milliseconds m_loadWait;
};

// The read loop's entry: relays to the process's bridge.
void RelayXPath(const std::wstring& text);

// The loader thread's body: loads the process's bridge, with `callback` for its messages.
void LoadBridge(BridgeCallback callback);

}  // namespace browser_extensions
