#include "host/ChannelWriter.h"

#include <cstdint>
#include <mutex>

#include "json/StringLiteral.h"
#include "platform/ChannelStream.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"
#include "protect/ProtectedString.h"

namespace browser_extensions {
namespace {

// The output lock and the stream it guards. Never destroyed: detached threads and the libraries'
// threads may still write while the process is ending.
struct Channel {
    std::mutex lock;
    FILE* stream = nullptr;  // null: standard output
};

Channel& TheChannel() {
    static Channel* channel = new Channel();
    return *channel;
}

// Made during static initialisation, before any thread of the host can send.
[[maybe_unused]] const Channel& g_channelAtStart = TheChannel();

void SetStream(FILE* stream) {
    Channel& channel = TheChannel();
    std::lock_guard<std::mutex> guard(channel.lock);
    channel.stream = stream;
}

template <typename Text>
Text UpToFirstNul(const Text& text) {
    const size_t end = text.find(typename Text::value_type());
    return end == Text::npos ? text : text.substr(0, end);
}

void SendUtf8(const std::string& utf8) {
    WriteFrame(QuoteForChannel(UpToFirstNul(utf8)));
}

}  // namespace

void SendProtectedText(const std::wstring& /*first*/, const std::wstring& text) {
    SendUtf8(WideToUtf8(UpToFirstNul(UnprotectString(text))));
}

void SendPlainText(const std::wstring& /*first*/, const std::wstring& text) {
    SendUtf8(WideToUtf8(text));
}

std::string QuoteForChannel(const std::string& utf8) {
    return json::Utf8StringLiteral(utf8);
}

void WriteFrame(const std::string& body) {
    if (body.size() > kMaxFrameBody) {
        platform::DebugOutputW(L"Frame of " + std::to_wstring(body.size()) +
                               L" bytes exceeds the 1048576-byte limit of the channel; not sent");
        return;
    }
    const int32_t length = static_cast<int32_t>(body.size());
    Channel& channel = TheChannel();
    std::lock_guard<std::mutex> guard(channel.lock);
    FILE* stream = channel.stream != nullptr ? channel.stream : stdout;
    // Results are not examined: a reader that went away loses the frame, and later frames are
    // attempted all the same.
    std::fwrite(&length, 1, sizeof length, stream);
    std::fwrite(body.data(), 1, body.size(), stream);
    std::fflush(stream);
}

void OpenChannel() {
    FILE* stream = platform::DetachChannelFromStandardOutput();
    if (stream != nullptr) {
        SetStream(stream);
    }
}

void CloseChannelForExit() {
    // Taken and never given back: a frame being written completes first, and no thread of the
    // agent or the bridge can start one that the process's end would cut in half.
    TheChannel().lock.lock();
}

void SetChannelStreamForTesting(FILE* stream) {
    SetStream(stream);
}

}  // namespace browser_extensions
