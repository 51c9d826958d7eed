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

CBridgeState::~CBridgeState() {
    delete m_link.load(std::memory_order_acquire);
}

CBridgeState& CBridgeState::Process() {
    static CBridgeState* state = new CBridgeState();
    return *state;
}

bool CBridgeState::Publish(void* instance, SendMessageToKestrovaProc send) {
    if (instance == nullptr || send == nullptr) {
        return false;
    }
    const Link* link = new Link{instance, send};
    const Link* expected = nullptr;
    if (!m_link.compare_exchange_strong(expected, link, std::memory_order_release,
                                        std::memory_order_relaxed)) {
        delete link;
        return false;
    }
    return true;
}

bool CBridgeState::IsReady() const {
    return m_link.load(std::memory_order_acquire) != nullptr;
}

bool CBridgeState::Send(const std::wstring& text) const {
    const Link* link = m_link.load(std::memory_order_acquire);
    if (link == nullptr) {
        return false;
    }
    std::lock_guard<std::mutex> turn(m_sendLock);
    link->send(text.c_str(), ReadInstanceValue(link->instance));
    return true;
}

}  // namespace browser_extensions
