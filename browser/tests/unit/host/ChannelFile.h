#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace browser_extensions::testing_support {

// A temporary file in binary mode that stands in for the pipe to the browser.
class ChannelFile {
  public:
    ChannelFile() {
        static int counter = 0;
        m_path = std::filesystem::temp_directory_path() /
                 ("quenlow-channel-" + std::to_string(reinterpret_cast<uintptr_t>(this)) + "-" +
                  std::to_string(++counter) + ".bin");
        m_file = std::fopen(m_path.string().c_str(), "w+b");
    }
    ~ChannelFile() {
        if (m_file != nullptr) {
            std::fclose(m_file);
        }
        std::error_code ignored;
        std::filesystem::remove(m_path, ignored);
    }
    ChannelFile(const ChannelFile&) = delete;
    ChannelFile& operator=(const ChannelFile&) = delete;

    FILE* Stream() const { return m_file; }

    // Everything written so far, through this stream or any descriptor duplicated from it.
    std::string Contents() const {
        std::fflush(m_file);
        std::fseek(m_file, 0, SEEK_SET);
        std::string bytes;
        char chunk[65536];
        size_t got = 0;
        while ((got = std::fread(chunk, 1, sizeof chunk, m_file)) > 0) {
            bytes.append(chunk, got);
        }
        std::fseek(m_file, 0, SEEK_END);
        return bytes;
    }

  private:
    std::filesystem::path m_path;
    FILE* m_file = nullptr;
};

// Splits channel bytes into frame bodies. Sets `trailing` to the bytes that do not form a whole
// frame at the end (there must be none).
inline std::vector<std::string> SplitFrames(const std::string& bytes, size_t& trailing) {
    std::vector<std::string> bodies;
    size_t pos = 0;
    while (bytes.size() - pos >= sizeof(int32_t)) {
        int32_t length = 0;
        std::memcpy(&length, bytes.data() + pos, sizeof length);
        if (length < 0 || bytes.size() - pos - sizeof length < static_cast<size_t>(length)) {
            break;
        }
        bodies.push_back(bytes.substr(pos + sizeof length, static_cast<size_t>(length)));
        pos += sizeof length + static_cast<size_t>(length);
    }
    trailing = bytes.size() - pos;
    return bodies;
}

}  // namespace browser_extensions::testing_support
