#pragma once

#include <chrono>
#include <cstddef>
#include <fstream>
#include <mutex>
#include <string>

#include <boost/json/object.hpp>

#include "FrameCheck.h"
#include "InputLine.h"
#include "TalkOptions.h"

namespace browser_extensions::talk {

// What a session tells: the readable report on standard output and, when one is opened, the
// transcript, one JSON object per line with "event" and "ms" (milliseconds since the start).
// Frames and sent messages go to both, each in its form. Lines from different threads never mix;
// when someone is typing at the prompt, text that arrives meanwhile is followed by a fresh one.
class Report {
  public:
    explicit Report(const TalkOptions& options);

    bool OpenTranscript(const std::string& utf8Path);
    void Line(const std::string& text);
    void Event(const char* event, boost::json::object fields);
    void Frame(const CheckedFrame& frame);
    void Sent(const InputLine& input, std::size_t index, bool delivered);

    void Prompt();
    void PromptAnswered();
    // Once the session is ending, text is no longer followed by a prompt.
    void StopPrompting();

  private:
    std::string Shown(const boost::json::value& value) const;
    std::string FrameText(const CheckedFrame& frame) const;
    boost::json::object FrameEvent(const CheckedFrame& frame) const;
    std::string SentText(const InputLine& input, std::size_t index, bool delivered) const;
    boost::json::object SentEvent(const InputLine& input, std::size_t index, bool delivered) const;

    bool pretty_;
    bool showHex_;
    std::size_t maxPrint_;
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
    std::mutex printing_;
    bool promptShown_ = false;
    bool stopped_ = false;
    std::mutex recording_;
    std::ofstream transcript_;
};

}  // namespace browser_extensions::talk
