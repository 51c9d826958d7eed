#include "Presentation.h"

#include <algorithm>
#include <vector>

#include "Hex.h"
#include "JsonText.h"
#include "platform/Utf8.h"

namespace browser_extensions::talk {
namespace {

const std::string kMargin = "   ";

boost::json::value OptionalJson(const std::optional<boost::json::value>& value) {
    return value ? *value : boost::json::value(nullptr);
}

// Sixteen bytes per line with their offset.
std::vector<std::string> HexDump(const std::string& bytes, std::size_t limit) {
    std::vector<std::string> lines;
    const std::size_t shown = limit == 0 ? bytes.size() : std::min(bytes.size(), limit);
    for (std::size_t at = 0; at < shown; at += 16) {
        std::string offset = tools::Hex::Encode(
            std::string{static_cast<char>((at >> 24) & 0xFF), static_cast<char>((at >> 16) & 0xFF),
                        static_cast<char>((at >> 8) & 0xFF), static_cast<char>(at & 0xFF)},
            false);
        const std::string_view row =
            std::string_view(bytes).substr(at, std::min<std::size_t>(16, shown - at));
        lines.push_back(kMargin + offset + "  " + tools::Hex::Encode(row, true));
    }
    if (shown < bytes.size()) {
        lines.push_back(kMargin + "... (" + std::to_string(bytes.size() - shown) + " more bytes)");
    }
    return lines;
}

}  // namespace

Presentation::Presentation(const TalkOptions& options)
    : pretty_(options.pretty), showHex_(options.showHex), maxPrint_(options.maxPrint) {}

std::string Presentation::Shown(const boost::json::value& value) const {
    return JsonText::Shorten(pretty_ ? JsonText::Pretty(value, kMargin) : JsonText::Compact(value),
                             maxPrint_);
}

std::string Presentation::FrameText(const CheckedFrame& frame) const {
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
        for (const auto& line : HexDump(raw.header + raw.body, maxPrint_)) {
            text += "\n" + line;
        }
    }
    return text;
}

boost::json::object Presentation::FrameEvent(const CheckedFrame& frame) const {
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

std::string Presentation::SentText(const InputLine& input, std::size_t index,
                                   bool delivered) const {
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

boost::json::object Presentation::SentEvent(const InputLine& input, std::size_t index,
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

}  // namespace browser_extensions::talk
