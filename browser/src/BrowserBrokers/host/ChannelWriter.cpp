#include "host/ChannelWriter.h"

#include <cstdint>
#include <cstdio>
#include <mutex>

#include "json/StringLiteral.h"
#include "platform/ChannelStream.h"
#include "platform/DataProtection.h"
#include "platform/DebugOutput.h"
#include "platform/TextEncoding.h"
#include "protect/ProtectedString.h"
#include "protect/StackWipe.h"
#include "protect/WipeText.h"

namespace browser_extensions {
namespace {

// The output lock and the stream it guards. Never destroyed: detached threads and the libraries'
// threads may still write while the process is ending.
struct Channel {
    std::mutex lock;
    FILE* stream = nullptr;  // null: standard output
    // The stream's buffer is ours, so a reply's bytes are wiped from it once they are written.
    char buffer[BUFSIZ] = {};
    FILE* buffered = nullptr;  // the stream that uses `buffer`
};

// Before the first write to a stream: its buffer becomes the channel's own.
void UseChannelBuffer(Channel& channel, FILE* stream) {
    if (channel.buffered != stream) {
        std::setvbuf(stream, channel.buffer, _IOFBF, sizeof channel.buffer);
        channel.buffered = stream;
    }
}

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

// Cuts the text at its first NUL, in place.
template <typename Text>
void CutAtFirstNul(Text& text) {
    const size_t end = text.find(typename Text::value_type());
    if (end != Text::npos) {
        text.resize(end);
    }
}

// Every form the reply takes on its way out is wiped once the frame is written.
void SendUtf8(std::string& utf8) {
    CutAtFirstNul(utf8);
    WriteFrame(QuoteForChannel(utf8));
}

void SendWide(std::wstring& text) {
    CutAtFirstNul(text);
    std::string utf8 = WideToUtf8(text);
    const CTextWipeGuard<std::string> wipeUtf8(utf8);
    SendUtf8(utf8);
}

}  // namespace

void SendProtectedText(const std::wstring& /*first*/, const std::wstring& text) {
    {
        std::wstring plain = UnprotectString(text);
        const CTextWipeGuard<std::wstring> wipePlain(plain);
        SendWide(plain);
    }
    WipeStackBelow();  // the decryption and conversions worked on the stack too
}

void SendPlainText(const std::wstring& /*first*/, const std::wstring& text) {
    {
        std::wstring copy = text;
        const CTextWipeGuard<std::wstring> wipeCopy(copy);
        SendWide(copy);
    }
    WipeStackBelow();  // the conversions and the frame's write worked on the stack too
}

SecretString QuoteForChannel(std::string_view utf8) {
    return json::Utf8StringLiteral(utf8);
}

void WriteFrame(std::string_view body) {
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
    UseChannelBuffer(channel, stream);
    std::fwrite(&length, 1, sizeof length, stream);
    std::fwrite(body.data(), 1, body.size(), stream);
    std::fflush(stream);
    platform::WipeBytes(channel.buffer, sizeof channel.buffer);
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
