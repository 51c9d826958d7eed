#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "bridge/BridgeEntryPoints.h"

namespace browser_extensions {

// What became of one text handed to the bridge.
enum class BridgeSendOutcome {
    kSent,
    kNotLoadedInTime,    // the loader was still at work when the wait ended
    kLoadFailed,         // the library could not be loaded
    kEntryPointMissing,  // the library lacks one of the three entry points
    kNoInstance,         // GetInstance gave no instance record
};

// Why the loader gave up on the bridge: one of the last three outcomes, which every text handed
// to the bridge after that has.
using BridgeFailure = BridgeSendOutcome;

// What the relay needs of a loaded bridge, and how far the loader has got: loading, then either
// ready (published whole, once) or failed with a reason. The loader thread writes it; the read
// loop waits for it, bounded.
class CBridgeState {
  public:
    CBridgeState() = default;

    CBridgeState(const CBridgeState&) = delete;
    CBridgeState& operator=(const CBridgeState&) = delete;

    // The process's one bridge, never destroyed: its library stays loaded until the process ends.
    static CBridgeState& Process();

    // Makes the bridge usable for relays. Only the first outcome counts (publication or failure);
    // a null instance or send entry point publishes nothing. Returns whether this call published.
    bool Publish(void* instance, SendMessageToKestrovaProc send);

    // The loader gave up; relays waiting for it stop waiting. Ignored once an outcome is known.
    void Fail(BridgeFailure reason);

    bool IsReady() const { return CurrentPhase() == Phase::kReady; }

    // How far the loader has got: still at work, published, or given up.
    enum class Phase { kLoading, kReady, kFailed };
    Phase CurrentPhase() const;

    // Hands the text to the bridge with the instance value as it is now. While the loader is still
    // at work, waits for it, but all waits together end at most `bound` after the first one began:
    // a loader that hangs delays the read loop once, not at every message. Callers on several
    // threads take turns: the bridge changes the value inside the call, so reading it beside
    // another call would race.
    BridgeSendOutcome Send(const std::wstring& text, std::chrono::milliseconds bound) const;

  private:
    // The state once settled or once the shared deadline has passed; the lock is held on return.
    Phase WaitForLoader(std::unique_lock<std::mutex>& lock, std::chrono::milliseconds bound) const;

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_settled;
    Phase m_phase = Phase::kLoading;
    BridgeFailure m_failure = BridgeFailure::kLoadFailed;
    void* m_instance = nullptr;
    SendMessageToKestrovaProc m_send = nullptr;
    mutable std::optional<std::chrono::steady_clock::time_point> m_waitDeadline;
    mutable std::mutex m_sendLock;
};

}  // namespace browser_extensions
