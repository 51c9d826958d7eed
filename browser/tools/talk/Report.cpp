#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include <boost/json/serialize.hpp>

#include "Hex.h"
#include "JsonText.h"
#include "platform/Utf8.h"

namespace browser_extensions::talk {
namespace {

const std::string kMargin = "   ";
constexpr char kPrompt[] = "> ";

boost::json::value OptionalJson(const std::optional<boost::json::value>& value) {
    return value ? *value : boost::json::value(nullptr);
}

// Sixteen bytes per line with their offset, each line after a line break.
std::string HexDump(const std::string& bytes, std::size_t limit) {
    std::string dump;
    const std::size_t shown = limit == 0 ? bytes.size() : std::min(bytes.size(), limit);
    for (std::size_t at = 0; at < shown; at += 16) {
        char offset[24];
        std::snprintf(offset, sizeof offset, "%08llx", static_cast<unsigned long long>(at));
        const std::string_view row =
            std::string_view(bytes).substr(at, std::min<std::size_t>(16, shown - at));
        dump += "\n" + kMargin + offset + "  " + tools::Hex::Encode(row, true);
    }
    if (shown < bytes.size()) {
        dump += "\n" + kMargin + "... (" + std::to_string(bytes.size() - shown) + " more bytes)";
    }
    return dump;
}

}  // namespace

Report::Report(const TalkOptions& options)
    : pretty_(options.pretty), showHex_(options.showHex), maxPrint_(options.maxPrint) {}

std::string Report::Shown(const boost::json::value& value) const {
    return JsonText::Shorten(
        pretty_ ? JsonText::Pretty(value, kMargin) : boost::json::serialize(value), maxPrint_);
}

std::string Report::FrameText(const CheckedFrame& frame) const {
    const RawFrame& raw = frame.raw;
    const bool ok = frame.verdict == Verdict::Ok;
    std::string text = std::string(ok ? "<- " : "!! ") + "frame " + std::to_string(raw.index) +
                       " (" + std::to_string(raw.received) + " bytes)";
    if (ok) {
        text += ": " + Shown(*frame.decoded);
    } else {
        text += ": " + frame.problem;
        if (frame.decoded) {
            text += "\n" + kMargin + "decoded: " + Shown(*frame.decoded);
        } else if (raw.complete || !raw.body.empty()) {
            text += "\n" + kMargin +
                    "body: " + JsonText::Shorten(JsonText::Printable(raw.body), maxPrint_);
        }
    }
    if (frame.inner) {
        text += "\n" + kMargin + "inner JSON: " + Shown(*frame.inner);
    }
    if (showHex_) {
        text += HexDump(raw.header + raw.body, maxPrint_);
    }
    return text;
}

boost::json::object Report::FrameEvent(const CheckedFrame& frame) const {
    const RawFrame& raw = frame.raw;
    boost::json::object event{{"index", raw.index},
                              {"length", raw.announced},
                              {"received", raw.received},
                              {"decoded", OptionalJson(frame.decoded)},
                              {"inner", OptionalJson(frame.inner)},
                              {"verdict", FrameCheck::VerdictName(frame.verdict)}};
    const bool utf8 = IsValidUtf8(raw.body);
    event["body"] = utf8 ? boost::json::value(raw.body) : boost::json::value(nullptr);
    if (!utf8 || showHex_) {
        event["body_hex"] = tools::Hex::Encode(raw.body, false);
    }
    if (raw.body.size() < raw.received) {
        event["kept"] = raw.body.size();  // only the body's first bytes are in "body"
    }
    if (raw.header.size() < 4) {
        event["header_hex"] = tools::Hex::Encode(raw.header, false);
    }
    if (frame.verdict != Verdict::Ok) {
        event["message"] = frame.problem;
    }
    return event;
}

std::string Report::SentText(const InputLine& input, std::size_t index, bool delivered) const {
    const bool raw = input.kind == InputLine::Kind::Raw;
    const std::string size = std::to_string(raw ? input.bytes.size() : input.text.size());
    std::string text = "-> sent " + std::to_string(index) + (raw ? " raw" : "") + " (" + size +
                       " bytes): " +
                       JsonText::Shorten(raw ? tools::Hex::Encode(input.bytes, true)
                                             : JsonText::Printable(input.text),
                                         maxPrint_);
    if (!input.note.empty()) {
        text += "\n   note: " + input.note;
    }
    if (!delivered) {
        text += "\n   the host no longer reads its input: not delivered";
    }
    return text;
}

boost::json::object Report::SentEvent(const InputLine& input, std::size_t index,
                                      bool delivered) const {
    const bool raw = input.kind == InputLine::Kind::Raw;
    boost::json::object event{{"index", index},
                              {"length", raw ? input.bytes.size() : input.text.size()}};
    if (raw) {
        event["hex"] = tools::Hex::Encode(input.bytes, false);
    } else {
        event["text"] = JsonText::ToValidUtf8(input.text);
        event["valid_json"] = input.note.empty();
    }
    if (!delivered) {
        event["delivered"] = false;
    }
    return event;
}

bool Report::OpenTranscript(const std::string& utf8Path) {
    transcript_.open(std::filesystem::u8path(utf8Path), std::ios::binary | std::ios::trunc);
    return transcript_.is_open();
}

void Report::Line(const std::string& text) {
    std::lock_guard<std::mutex> lock(printing_);
    if (promptShown_) {
        std::fputs("\r  \r", stdout);  // over the prompt
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fputs("\n", stdout);
    promptShown_ = promptShown_ && !stopped_;
    if (promptShown_) {
        std::fputs(kPrompt, stdout);
    }
    std::fflush(stdout);
}

void Report::Event(const char* event, boost::json::object fields) {
    if (!transcript_.is_open()) {
        return;
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - start_);
    boost::json::object line{{"event", event}, {"ms", elapsed.count()}};
    for (auto& member : fields) {
        line[member.key()] = std::move(member.value());
    }
    std::lock_guard<std::mutex> lock(recording_);
    transcript_ << boost::json::serialize(line) << '\n';
    transcript_.flush();
}

void Report::Frame(const CheckedFrame& frame) {
    Line(FrameText(frame));
    Event("frame", FrameEvent(frame));
}

void Report::Sent(const InputLine& input, std::size_t index, bool delivered) {
    Line(SentText(input, index, delivered));
    Event("sent", SentEvent(input, index, delivered));
}

void Report::Prompt() {
    std::lock_guard<std::mutex> lock(printing_);
    if (stopped_) {
        return;
    }
    std::fputs(kPrompt, stdout);
    std::fflush(stdout);
    promptShown_ = true;
}

void Report::PromptAnswered() {
    std::lock_guard<std::mutex> lock(printing_);
    promptShown_ = false;
}

void Report::StopPrompting() {
    std::lock_guard<std::mutex> lock(printing_);
    stopped_ = true;
}

}  // namespace browser_extensions::talk
