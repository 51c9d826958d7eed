#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>

namespace browser_extensions::testing_support {

// Bytes of a frame as the browser sends them: native-endian 32-bit length, then the body.
inline std::string Frame(const std::string& body) {
    const int32_t length = static_cast<int32_t>(body.size());
    std::string bytes(sizeof length, '\0');
    std::memcpy(&bytes[0], &length, sizeof length);
    return bytes + body;
}

inline std::string LengthOnly(int32_t length) {
    std::string bytes(sizeof length, '\0');
    std::memcpy(&bytes[0], &length, sizeof length);
    return bytes;
}

// An in-memory standard input with fread's contract: short reads only at the end.
class MemoryInput {
  public:
    explicit MemoryInput(std::string bytes) : m_bytes(std::move(bytes)) {}

    size_t Read(char* buffer, size_t count) {
        const size_t n = std::min(count, m_bytes.size() - m_position);
        std::memcpy(buffer, m_bytes.data() + m_position, n);
        m_position += n;
        m_largestRequest = std::max(m_largestRequest, count);
        return n;
    }

    size_t LargestRequest() const { return m_largestRequest; }

  private:
    std::string m_bytes;
    size_t m_position = 0;
    size_t m_largestRequest = 0;
};

}  // namespace browser_extensions::testing_support
