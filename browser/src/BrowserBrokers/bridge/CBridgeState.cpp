#include "bridge/CBridgeState.h"

#include <cstring>

namespace browser_extensions {
namespace {

// The bridge may change the value between messages, so it is read afresh every time, and by
// copy, as the record's alignment is the bridge's business.
uint64_t ReadInstanceValue(const void* instance) {
    uint64_t value = 0;
    std::memcpy(&value, static_cast<const unsigned char*>(instance) + kInstanceValueOffset,
                sizeof(value));
    return value;
}

}  // namespace

CBridgeState& CBridgeState::Process() {
    static CBridgeState* state = new CBridgeState();
    return *state;
}

bool CBridgeState::Publish(void* instance, SendMessageToKestrovaProc send) {
    if (instance == nullptr || send == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_phase != Phase::kLoading) {
            return false;
        }
        m_instance = instance;
        m_send = send;
        m_phase = Phase::kReady;
    }
    m_settled.notify_all();
    return true;
}

void CBridgeState::Fail(BridgeFailure reason) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_phase != Phase::kLoading) {
            return;
        }
        m_failure = reason;
        m_phase = Phase::kFailed;
    }
    m_settled.notify_all();
}

CBridgeState::Phase CBridgeState::CurrentPhase() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_phase;
}

CBridgeState::Phase CBridgeState::WaitForLoader(std::unique_lock<std::mutex>& lock,
                                                std::chrono::milliseconds bound) const {
    if (m_phase == Phase::kLoading && !m_waitDeadline) {
        m_waitDeadline = std::chrono::steady_clock::now() + bound;
    }
    m_settled.wait_until(lock, m_waitDeadline.value_or(std::chrono::steady_clock::now()),
                         [this] { return m_phase != Phase::kLoading; });
    return m_phase;
}

BridgeSendOutcome CBridgeState::Send(const std::wstring& text,
                                     std::chrono::milliseconds bound) const {
    void* instance = nullptr;
    SendMessageToKestrovaProc send = nullptr;
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        switch (WaitForLoader(lock, bound)) {
            case Phase::kLoading:
                return BridgeSendOutcome::kNotLoadedInTime;
            case Phase::kFailed:
                return m_failure;
            case Phase::kReady:
                break;
        }
        instance = m_instance;
        send = m_send;
    }
    // Published once and never changed, so the bridge is called outside the state's lock.
    std::lock_guard<std::mutex> turn(m_sendLock);
    send(text.c_str(), ReadInstanceValue(instance));
    return BridgeSendOutcome::kSent;
}

}  // namespace browser_extensions
