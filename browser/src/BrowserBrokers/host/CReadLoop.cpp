#include "host/CReadLoop.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "handler/CMessageHandler.h"
#include "platform/DebugOutput.h"

namespace browser_extensions {

using namespace std::string_view_literals;
namespace {

// The buffer starts at this size and doubles, so memory follows the bytes that arrive rather
// than the length a peer announces.
constexpr size_t kFirstChunk = 64 * 1024;
constexpr size_t kDiscardChunk = 64 * 1024;

}  // namespace

CReadLoop::CReadLoop(ByteReader reader, CMessageHandler& handler, XPathRelay relay,
                     uint32_t discardThreshold)
    : m_reader(std::move(reader)),
      m_handler(handler),
      m_relay(std::move(relay)),
      m_discardThreshold(discardThreshold) {}

void CReadLoop::Run() {
    std::wstring type;  // receives each envelope's type; empty again after every message
    int32_t length = 0;
    for (;;) {
        const LengthResult result = ReadLength(length);
        if (result == LengthResult::kEnd) {
            return;
        }
        if (result == LengthResult::kSkip || length <= 0) {
            continue;
        }
        const uint32_t announced = static_cast<uint32_t>(length);
        if (announced >= m_discardThreshold) {
            DiscardBody(announced);
            continue;
        }
        const std::vector<char> body = ReadBody(announced);
        HandleMessage(body.data(), type);
        type.clear();
    }
}

CReadLoop::LengthResult CReadLoop::ReadLength(int32_t& length) {
    char bytes[sizeof(int32_t)];
    const size_t got = m_reader(bytes, sizeof bytes);
    if (got == 0) {
        return LengthResult::kEnd;
    }
    if (got < sizeof bytes) {
        return LengthResult::kSkip;  // a length cut short is dropped
    }
    std::memcpy(&length, bytes, sizeof length);
    return LengthResult::kFrame;
}

std::vector<char> CReadLoop::ReadBody(uint32_t length) {
    std::vector<char> buffer;
    size_t received = 0;
    while (received < length) {
        const size_t want = std::min<size_t>(length - received, std::max(received, kFirstChunk));
        // Exactly what this step needs, the closing NUL included: left to itself the vector
        // would double again for the NUL alone once the last byte is in.
        buffer.reserve(received + want + 1);
        buffer.resize(received + want);
        const size_t got = m_reader(buffer.data() + received, want);
        received += got;
        if (got < want) {
            break;  // cut short by the end of input: handled as received
        }
    }
    buffer.resize(received);
    buffer.push_back('\0');
    return buffer;
}

void CReadLoop::DiscardBody(uint32_t length) {
    platform::DebugOutputW(L"Frame of " + std::to_wstring(length) +
                           L" bytes is too large; its body is discarded");
    std::vector<char> chunk(kDiscardChunk);
    size_t remaining = length;
    while (remaining > 0) {
        const size_t want = std::min(remaining, chunk.size());
        const size_t got = m_reader(chunk.data(), want);
        remaining -= got;
        if (got < want) {
            return;
        }
    }
}

void CReadLoop::HandleMessage(const char* body, std::wstring& type) {
    m_handler.ProcessMessage(body, type);
    if (type == L"XPath"sv && m_relay) {
        m_relay(body);
    }
}

}  // namespace browser_extensions
