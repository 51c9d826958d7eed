#include "InputFeeder.h"

#include <thread>

#include "Console.h"
#include "InputLine.h"

namespace browser_extensions::talk {

InputFeeder::InputFeeder(const TalkOptions& options, std::istream* file, bool interactive,
                         HostProcess& host, Outlets out)
    : rawHex_(options.rawHex),
      paceSeconds_(options.paceSeconds),
      file_(file),
      interactive_(interactive),
      host_(host),
      out_(out) {}

void InputFeeder::Run() {
    std::string line;
    for (std::size_t lineNumber = 1; !out_.tally.IsClosing() && NextLine(line); ++lineNumber) {
        Send(lineNumber, line);
        if (paceSeconds_ > 0) {
            std::this_thread::sleep_for(Millis(paceSeconds_));
        }
    }
    out_.tally.Ended(Tally::Stream::Input);
}

bool InputFeeder::NextLine(std::string& line) {
    if (file_ != nullptr) {
        return InputLine::Read(*file_, line);
    }
    if (interactive_) {
        out_.printer.Prompt();
    }
    const bool got = Console::ReadInputLine(line);
    if (interactive_) {
        out_.printer.PromptAnswered();
    }
    return got;
}

void InputFeeder::Send(std::size_t lineNumber, const std::string& line) {
    const InputLine input = InputLine::Classify(line, rawHex_);
    switch (input.kind) {
        case InputLine::Kind::Blank:
            return;
        case InputLine::Kind::Comment:
            out_.printer.Line(input.text);
            return;
        case InputLine::Kind::Invalid:
            out_.printer.Line("talk: input line " + std::to_string(lineNumber) +
                              " skipped: " + input.note);
            out_.tally.AddProblem(Tally::kBadInput,
                                  "input line " + std::to_string(lineNumber) + ": " + input.note);
            return;
        case InputLine::Kind::Message:
        case InputLine::Kind::Raw:
            break;
    }
    std::size_t index = 0;
    bool delivered = false;
    {
        std::lock_guard<std::mutex> writing(writing_);
        const auto number = out_.tally.StartSending();
        if (!number) {
            return;
        }
        index = *number;
        delivered = host_.WriteInput(input.bytes);
    }
    out_.printer.Line(out_.presentation.SentText(input, index, delivered));
    out_.transcript.Write("sent", out_.presentation.SentEvent(input, index, delivered));
    out_.tally.Sent(index, delivered);
}

void InputFeeder::CloseHostInput(std::chrono::milliseconds killAfter) {
    std::unique_lock<std::mutex> writing(writing_, std::defer_lock);
    const auto giveUp = Tally::Clock::now() + killAfter;
    while (!writing.try_lock()) {
        if (Tally::Clock::now() >= giveUp) {
            host_.Kill();
            writing.lock();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    host_.CloseInput();
}

}  // namespace browser_extensions::talk
