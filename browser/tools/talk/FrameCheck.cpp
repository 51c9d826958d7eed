#include "FrameCheck.h"

#include "JsonText.h"

namespace browser_extensions::talk {

namespace {

std::optional<boost::json::value> InnerJson(const boost::json::value& decoded) {
    const auto* text = decoded.if_string();
    if (text == nullptr) {
        return std::nullopt;
    }
    std::string ignored;
    auto inner = JsonText::Parse(std::string_view(text->data(), text->size()), ignored);
    if (inner && (inner->is_object() || inner->is_array())) {
        return inner;
    }
    return std::nullopt;
}

std::string TruncationWords(const RawFrame& raw) {
    if (raw.header.size() < 4) {
        return "the output ended after " + std::to_string(raw.header.size()) +
               " of the 4 length bytes";
    }
    return "the length announces " + std::to_string(raw.announced) +
           " bytes but the output ended after " + std::to_string(raw.received);
}

}  // namespace

CheckedFrame FrameCheck::Check(RawFrame raw) {
    CheckedFrame checked;
    checked.raw = std::move(raw);
    const RawFrame& frame = checked.raw;
    if (frame.header.size() == 4 && frame.announced > kBrowserLimit) {
        checked.verdict = Verdict::TooLarge;
        checked.problem = "the body of " + std::to_string(frame.announced) +
                          " bytes is over the limit of " + std::to_string(kBrowserLimit) +
                          ": a browser disconnects";
        if (!frame.complete) {
            checked.problem += " (and " + TruncationWords(frame) + ")";
        }
    } else if (!frame.complete) {
        checked.verdict = Verdict::Truncated;
        checked.problem = "truncated frame: " + TruncationWords(frame);
    }
    if (!frame.complete || frame.body.size() != frame.received) {
        return checked;  // not all of the body is here to decode
    }
    std::string error;
    checked.decoded = JsonText::Parse(frame.body, error);
    if (checked.decoded) {
        checked.inner = InnerJson(*checked.decoded);
    } else if (checked.verdict == Verdict::Ok) {
        checked.verdict = Verdict::InvalidJson;
        checked.problem =
            "the body is not valid JSON (" + error + "): a browser drops this message";
    }
    return checked;
}

const char* FrameCheck::VerdictName(Verdict verdict) {
    static const char* const kNames[] = {"ok", "invalid-json", "too-large", "truncated"};
    return kNames[static_cast<int>(verdict)];
}

}  // namespace browser_extensions::talk
