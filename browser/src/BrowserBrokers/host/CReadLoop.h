#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "protect/SecretText.h"

namespace browser_extensions {

class CMessageHandler;

// Reads inbound frames (a 4-byte native-endian signed length, then the body) until the input
// ends, and hands each body, up to its first NUL, to the central handler as UTF-16 text.
class CReadLoop {
  public:
    // Reads up to `count` bytes, returning how many arrived; fewer only at end of input or on an
    // error (the contract of fread with items of one byte).
    using ByteReader = std::function<size_t(char* buffer, size_t count)>;
    // Called with the text of every message whose type is exactly "XPath".
    using XPathRelay = std::function<void(const std::wstring& text)>;

    // Frames announcing this many bytes or more are read and thrown away: no browser sends one
    // (they cap messages at 64 MiB), and holding one would cost the process its memory.
    static constexpr uint32_t kDiscardThreshold = 0x10000000;

    // `discardThreshold` is the constant but for tests, which cannot afford 256 MiB a case.
    CReadLoop(ByteReader reader, CMessageHandler& handler, XPathRelay relay,
              uint32_t discardThreshold = kDiscardThreshold);

    void Run();

  private:
    enum class LengthResult { kFrame, kSkip, kEnd };
    LengthResult ReadLength(int32_t& length);
    void ReadAndHandle(uint32_t length, SecretString& body, std::wstring& type);
    // The body as it actually arrives, however much was announced, followed by one NUL, into
    // `buffer`; returns the bytes it holds then.
    size_t ReadBody(uint32_t length, SecretString& buffer);
    void DiscardBody(uint32_t length);
    void SkipBytes(size_t length);
    void HandleMessage(SecretString& body, std::wstring& type);

    ByteReader m_reader;
    CMessageHandler& m_handler;
    XPathRelay m_relay;
    size_t m_partial = 0;  // body bytes of the current frame read so far
    uint32_t m_discardThreshold;
};

}  // namespace browser_extensions
