// A minimal native-messaging host for checking quenlow-talk on each platform: it greets, then
// answers every frame with the same body, and says goodbye on stderr when its input ends.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

void WriteFrame(const std::string& body) {
    const auto length = static_cast<std::uint32_t>(body.size());
    std::fwrite(&length, sizeof length, 1, stdout);
    std::fwrite(body.data(), 1, body.size(), stdout);
    std::fflush(stdout);
}

bool ReadFrame(std::string& body) {
    std::uint32_t length = 0;
    if (std::fread(&length, sizeof length, 1, stdin) != 1) {
        return false;
    }
    body.assign(length, '\0');
    return std::fread(body.data(), 1, length, stdin) == length;
}

}  // namespace

int main() {
#ifdef _WIN32
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
#endif
    WriteFrame("{\"type\":\"hello\"}");
    std::string body;
    while (ReadFrame(body)) {
        WriteFrame(body);
    }
    std::fputs("echo host: input ended\n", stderr);
    return 0;
}
