#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

#include "bridge/BridgeEntryPoints.h"

namespace browser_extensions {

// What the relay needs of a loaded bridge. Published whole, once, by the loader thread; the read
// loop either sees all of it or nothing.
class CBridgeState {
  public:
    CBridgeState() = default;
    ~CBridgeState();

    CBridgeState(const CBridgeState&) = delete;
    CBridgeState& operator=(const CBridgeState&) = delete;

    // The process's one bridge, never destroyed: its library stays loaded until the process ends.
    static CBridgeState& Process();

    // Makes the bridge usable for relays. Only the first publication counts; a null instance or
    // send entry point publishes nothing. Returns whether this call published.
    bool Publish(void* instance, SendMessageToKestrovaProc send);

    bool IsReady() const;

    // Hands the text to the bridge with the instance value as it is now. Returns false, calling
    // nothing, while the bridge is not ready. Callers on several threads take turns: the bridge
    // changes the value inside the call, so reading it beside another call would race.
    bool Send(const std::wstring& text) const;

  private:
    struct Link {
        void* instance;
        SendMessageToKestrovaProc send;
    };

    std::atomic<const Link*> m_link{nullptr};
    mutable std::mutex m_sendLock;
};

}  // namespace browser_extensions
