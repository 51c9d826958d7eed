#include "host/CReadLoop.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "handler/CMessageHandler.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"
#include "protect/WipeText.h"

namespace browser_extensions {

using namespace std::string_view_literals;
namespace {

// The buffer starts at this size and doubles, so memory follows the bytes that arrive rather
// than the length a peer announces.
constexpr size_t kFirstChunk = 64 * 1024;
// A buffer grown beyond this for a large frame is released once the frame is converted, so that
// its bytes are not held alongside its (larger) text while it is handled.
constexpr size_t kLargestKeptBuffer = 1024 * 1024;
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
    SecretString body;
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
        ReadAndHandle(announced, body, type);
        WipeText(type);
    }
}

// Running out of memory costs this one message only; the rest of its body is read away so the
// next frame starts where it should.
void CReadLoop::ReadAndHandle(uint32_t length, SecretString& body, std::wstring& type) {
    size_t received = 0;
    try {
        received = ReadBody(length, body);
        HandleMessage(body, type);
    } catch (const std::bad_alloc&) {
        if (received == 0) {
            SkipBytes(length - static_cast<uint32_t>(m_partial));
        }
        platform::DebugOutputW(L"Out of memory; the message of " + std::to_wstring(length) +
                               L" bytes is dropped");
    }
    // Only the bytes this message used need overwriting; the buffer is kept for the next one.
    if (!body.empty()) {
        platform::WipeBytes(body.data(), body.size());
        body.clear();
    }
    m_partial = 0;
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

size_t CReadLoop::ReadBody(uint32_t length, SecretString& buffer) {
    size_t received = 0;
    m_partial = 0;
    while (received < length) {
        const size_t want = std::min<size_t>(length - received, std::max(received, kFirstChunk));
        // What this step needs, the closing NUL included: left to itself the buffer would grow
        // again for the NUL alone once the last byte is in.
        buffer.reserve(received + want + 1);
        buffer.resize(received + want);
        const size_t got = m_reader(buffer.data() + received, want);
        received += got;
        m_partial = received;
        if (got < want) {
            break;  // cut short by the end of input: handled as received
        }
    }
    buffer.resize(received);
    buffer.push_back('\0');
    return received + 1;
}

void CReadLoop::DiscardBody(uint32_t length) {
    platform::DebugOutputW(L"Frame of " + std::to_wstring(length) +
                           L" bytes is too large; its body is discarded");
    SkipBytes(length);
}

void CReadLoop::SkipBytes(size_t length) {
    SecretString chunk(kDiscardChunk, '\0');
    size_t remaining = length;
    while (remaining > 0) {
        const size_t want = std::min(remaining, chunk.size());
        const size_t got = m_reader(chunk.data(), want);
        remaining -= got;
        if (got < want) {
            break;
        }
    }
}

void CReadLoop::HandleMessage(SecretString& body, std::wstring& type) {
    std::wstring text = Utf8ToWide(body.data());
    const CTextWipeGuard<std::wstring> wipeText(text);
    if (body.capacity() > kLargestKeptBuffer) {
        SecretString().swap(body);
    }
    m_handler.ProcessText(text, type);
    if (type == L"XPath"sv && m_relay) {
        m_relay(text);
    }
}

}  // namespace browser_extensions
