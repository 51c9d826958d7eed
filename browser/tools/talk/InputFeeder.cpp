#include "InputFeeder.h"

#include <thread>

#include "Console.h"
#include "InputLine.h"

namespace browser_extensions::talk {

InputFeeder::InputFeeder(const TalkOptions& options, std::istream* file, bool interactive,
                         HostProcess& host, Report& report, Tally& tally)
    : rawHex_(options.rawHex),
      paceSeconds_(options.paceSeconds),
      file_(file),
      interactive_(interactive),
      host_(host),
      report_(report),
      tally_(tally) {}

void InputFeeder::Run() {
    std::string line;
    for (std::size_t lineNumber = 1; !tally_.IsClosing() && NextLine(line); ++lineNumber) {
        Send(lineNumber, line);
        if (paceSeconds_ > 0) {
            std::this_thread::sleep_for(Millis(paceSeconds_));
        }
    }
    tally_.Ended(Tally::Stream::Input);
}

bool InputFeeder::NextLine(std::string& line) {
    if (file_ != nullptr) {
        return InputLine::Read(*file_, line);
    }
    if (interactive_) {
        report_.Prompt();
    }
    const bool got = Console::ReadInputLine(line);
    if (interactive_) {
        report_.PromptAnswered();
    }
    return got;
}

void InputFeeder::Send(std::size_t lineNumber, const std::string& line) {
    const InputLine input = InputLine::Classify(line, rawHex_);
    switch (input.kind) {
        case InputLine::Kind::Blank:
            return;
        case InputLine::Kind::Comment:
            report_.Line(input.text);
            return;
        case InputLine::Kind::Invalid:
            report_.Line("talk: input line " + std::to_string(lineNumber) +
                         " skipped: " + input.note);
            tally_.AddProblem(Tally::kBadInput,
                              "input line " + std::to_string(lineNumber) + ": " + input.note);
            return;
        case InputLine::Kind::Message:
        case InputLine::Kind::Raw:
            break;
    }
    std::size_t index = 0;
    bool delivered = false;
    {
        std::lock_guard<std::timed_mutex> writing(writing_);
        const auto number = tally_.StartSending();
        if (!number) {
            return;
        }
        index = *number;
        delivered = host_.WriteInput(input.bytes);
    }
    report_.Sent(input, index, delivered);
    tally_.Sent(index, delivered);
}

void InputFeeder::CloseHostInput(std::chrono::milliseconds killAfter) {
    std::unique_lock<std::timed_mutex> writing(writing_, killAfter);
    if (!writing.owns_lock()) {
        host_.Kill();  // the write in progress then fails
        writing.lock();
    }
    host_.CloseInput();
}

}  // namespace browser_extensions::talk
