#include "TalkSession.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

#include <boost/json/array.hpp>

#include "Console.h"
#include "FrameReader.h"
#include "Hex.h"
#include "InputLine.h"
#include "JsonText.h"
#include "platform/Utf8.h"

namespace browser_extensions::talk {

namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kBodyKeepLimit = 16u * 1024 * 1024;
constexpr double kDefaultTimeoutSeconds = 30;
constexpr auto kStreamDrainLimit = std::chrono::seconds(2);

std::chrono::milliseconds Millis(double seconds) {
    return std::chrono::milliseconds(static_cast<long long>(seconds * 1000));
}

std::string Plural(std::size_t count, const char* word) {
    return std::to_string(count) + " " + word + (count == 1 ? "" : "s");
}

std::string Seconds(double seconds) {
    std::ostringstream text;
    text << seconds;
    return text.str();
}

// Text-mode stderr of a Windows host ends its lines with CR LF.
std::string WithoutCarriageReturns(std::string text) {
    std::size_t at = 0;
    while ((at = text.find("\r\n", at)) != std::string::npos) {
        text.erase(at, 1);
    }
    return text;
}

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
        lines.push_back(
            "   " + offset + "  " +
            tools::Hex::Encode(
                std::string_view(bytes).substr(at, std::min<std::size_t>(16, shown - at)), true));
    }
    if (shown < bytes.size()) {
        lines.push_back("   ... (" + std::to_string(bytes.size() - shown) + " more bytes)");
    }
    return lines;
}

}  // namespace

TalkSession::TalkSession(TalkOptions options)
    : options_(std::move(options)), lastActivity_(Clock::now()) {}

TalkSession::~TalkSession() = default;

void TalkSession::AddProblem(Outcome outcome, const std::string& text) {
    std::lock_guard<std::mutex> lock(mutex_);
    problems_.emplace_back(outcome, text);
}

bool TalkSession::OpenFiles() {
    if (options_.transcriptFile && !transcript_.Open(*options_.transcriptFile)) {
        printer_.Line("talk: cannot write the transcript " + *options_.transcriptFile);
        return false;
    }
    if (options_.inputFile) {
        inputFile_.open(std::filesystem::u8path(*options_.inputFile), std::ios::binary);
        if (!inputFile_.is_open()) {
            printer_.Line("talk: cannot read the input " + *options_.inputFile);
            return false;
        }
    }
    return true;
}

bool TalkSession::StartHost() {
    std::error_code ignored;
    const std::filesystem::path program =
        std::filesystem::absolute(std::filesystem::u8path(options_.hostPath), ignored)
            .lexically_normal();
    LaunchSpec launch;
    launch.program = program.u8string();
    launch.workingDirectory = program.parent_path().u8string();
    if (options_.passOrigin) {
        launch.arguments.push_back(options_.origin);
    }
    launch.arguments.insert(launch.arguments.end(), options_.hostArguments.begin(),
                            options_.hostArguments.end());
    launch.environment = options_.environment;

    std::string error;
    host_ = HostProcess::Start(launch, error);
    boost::json::array arguments;
    for (const auto& argument : launch.arguments) {
        arguments.emplace_back(argument);
    }
    if (!host_) {
        printer_.Line("talk: " + error);
        transcript_.Write("start", {{"program", launch.program}, {"error", error}});
        return false;
    }
    std::string shown;
    for (const auto& argument : launch.arguments) {
        shown += " " + argument;
    }
    printer_.Line("talk: started " + launch.program + " (process " + std::to_string(host_->Id()) +
                  ") in " + launch.workingDirectory + "; arguments:" + shown);
    transcript_.Write("start", {{"program", launch.program},
                                {"arguments", arguments},
                                {"directory", launch.workingDirectory},
                                {"pid", host_->Id()}});
    return true;
}

int TalkSession::Run() {
    if (!OpenFiles() || !StartHost()) {
        transcript_.Write("end", {{"result", "cannot-open"}, {"exit_code", kCannotOpen}});
        return kCannotOpen;
    }
    interactive_ = !options_.inputFile && Console::InputIsTerminal();
    timeoutSeconds_ = options_.timeoutSeconds.value_or(interactive_ ? 0.0 : kDefaultTimeoutSeconds);
    outputThread_ = std::thread([this] { ReadOutput(); });
    errorsThread_ = std::thread([this] { ReadErrors(); });
    feedThread_ = std::thread([this] { FeedInput(); });

    WaitUntilTimeToClose();
    CloseHostInput();
    EndHost();
    FinishThread(outputThread_, outputDone_, kStreamDrainLimit);
    FinishThread(errorsThread_, errorsDone_, kStreamDrainLimit);
    FinishThread(feedThread_, inputDone_, std::chrono::milliseconds(200));
    return Report();
}

// ----- the host's output -------------------------------------------------------------------

void TalkSession::ReadOutput() {
    FrameReader reader(kBodyKeepLimit);
    std::vector<char> buffer(kReadChunk);
    for (;;) {
        const std::size_t got = host_->ReadOutput(buffer.data(), buffer.size());
        if (got == 0) {
            break;
        }
        for (auto& frame : reader.Feed(buffer.data(), got)) {
            OnFrame(FrameCheck::Check(std::move(frame)));
        }
    }
    if (auto partial = reader.Finish()) {
        OnFrame(FrameCheck::Check(std::move(*partial)));
    }
    std::lock_guard<std::mutex> lock(mutex_);
    outputDone_ = true;
    changed_.notify_all();
}

void TalkSession::OnFrame(CheckedFrame frame) {
    const RawFrame& raw = frame.raw;
    const bool ok = frame.verdict == Verdict::Ok;
    const std::string margin = "   ";
    const auto show = [&](const boost::json::value& value) {
        return JsonText::Shorten(
            options_.pretty ? JsonText::Pretty(value, margin) : JsonText::Compact(value),
            options_.maxPrint);
    };
    std::string text = std::string(ok ? "<- " : "!! ") + "frame " + std::to_string(raw.index) +
                       " (" + std::to_string(raw.received) + " bytes)";
    if (ok) {
        text += ": " + show(*frame.decoded);
    } else {
        text += ": " + frame.problem;
        if (frame.decoded) {
            text += "\n" + margin + "decoded: " + show(*frame.decoded);
        } else if (raw.complete || !raw.body.empty()) {
            text += "\n" + margin +
                    "body: " + JsonText::Shorten(JsonText::Printable(raw.body), options_.maxPrint);
        }
    }
    if (frame.inner) {
        text += "\n" + margin + "inner JSON: " + show(*frame.inner);
    }
    if (options_.showHex) {
        for (const auto& line : HexDump(raw.header + raw.body, options_.maxPrint)) {
            text += "\n" + line;
        }
    }
    printer_.Line(text);

    boost::json::object event{{"index", raw.index},
                              {"length", raw.announced},
                              {"received", raw.received},
                              {"decoded", OptionalJson(frame.decoded)},
                              {"inner", OptionalJson(frame.inner)},
                              {"verdict", FrameCheck::VerdictName(frame.verdict)}};
    const bool utf8 = IsValidUtf8(raw.body);
    event["body"] = utf8 ? boost::json::value(raw.body) : boost::json::value(nullptr);
    if (!utf8 || options_.showHex) {
        event["body_hex"] = tools::Hex::Encode(raw.body, false);
    }
    if (raw.body.size() < raw.received) {
        event["kept"] = raw.body.size();  // only the body's first bytes are in "body"
    }
    if (raw.header.size() < 4) {
        event["header_hex"] = tools::Hex::Encode(raw.header, false);
    }
    if (!ok) {
        event["message"] = frame.problem;
    }
    transcript_.Write("frame", std::move(event));

    std::lock_guard<std::mutex> lock(mutex_);
    ++frames_;
    if (ok) {
        ++framesDelivered_;
    } else {
        problems_.emplace_back(kBadFrame,
                               "frame " + std::to_string(raw.index) + ": " + frame.problem);
    }
    lastActivity_ = Clock::now();
    changed_.notify_all();
}

// ----- the host's errors -------------------------------------------------------------------

void TalkSession::ReadErrors() {
    std::vector<char> buffer(kReadChunk);
    for (;;) {
        const std::size_t got = host_->ReadErrors(buffer.data(), buffer.size());
        if (got == 0) {
            break;
        }
        OnErrorText(std::string(buffer.data(), got), false);
    }
    OnErrorText({}, true);
    std::lock_guard<std::mutex> lock(mutex_);
    errorsDone_ = true;
    changed_.notify_all();
}

void TalkSession::OnErrorText(const std::string& text, bool atEnd) {
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        errorsText_ += text;
        errorsPartialLine_ += text;
        std::size_t end;
        while ((end = errorsPartialLine_.find('\n')) != std::string::npos) {
            lines.push_back(errorsPartialLine_.substr(0, end));
            errorsPartialLine_.erase(0, end + 1);
        }
        if (atEnd && !errorsPartialLine_.empty()) {
            lines.push_back(std::move(errorsPartialLine_));
            errorsPartialLine_.clear();
        }
    }
    for (auto& line : lines) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        transcript_.Write("stderr", {{"text", JsonText::ToValidUtf8(line)}});
    }
}

// ----- the input ---------------------------------------------------------------------------

bool TalkSession::NextInputLine(std::string& line) {
    if (options_.inputFile) {
        if (!std::getline(inputFile_, line)) {
            return false;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return true;
    }
    if (interactive_) {
        printer_.Prompt();
    }
    const bool got = Console::ReadInputLine(line);
    if (interactive_) {
        printer_.PromptAnswered();
    }
    return got;
}

void TalkSession::FeedInput() {
    std::string line;
    std::size_t lineNumber = 0;
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closing_) {
                break;
            }
        }
        if (!NextInputLine(line)) {
            break;
        }
        ++lineNumber;
        Send(lineNumber, line);
        if (options_.paceSeconds > 0) {
            std::this_thread::sleep_for(Millis(options_.paceSeconds));
        }
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (!closing_) {
        lastActivity_ = Clock::now();
    }
    inputDone_ = true;
    changed_.notify_all();
}

void TalkSession::Send(std::size_t lineNumber, const std::string& line) {
    const InputLine input = InputLine::Classify(line, options_.rawHex);
    switch (input.kind) {
        case InputLine::Kind::Blank:
            return;
        case InputLine::Kind::Comment:
            printer_.Line(input.text);
            return;
        case InputLine::Kind::Invalid:
            printer_.Line("talk: input line " + std::to_string(lineNumber) +
                          " skipped: " + input.note);
            AddProblem(kBadInput, "input line " + std::to_string(lineNumber) + ": " + input.note);
            return;
        case InputLine::Kind::Message:
        case InputLine::Kind::Raw:
            break;
    }
    bool written = false;
    std::size_t index = 0;
    {
        std::lock_guard<std::mutex> inputLock(inputMutex_);
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (closing_) {
                return;
            }
            index = ++sent_;
        }
        written = host_->WriteInput(input.bytes);
    }
    const bool raw = input.kind == InputLine::Kind::Raw;
    const std::string size = std::to_string(raw ? input.bytes.size() : input.text.size());
    std::string text = "-> sent " + std::to_string(index) + (raw ? " raw" : "") + " (" + size +
                       " bytes): " +
                       JsonText::Shorten(raw ? tools::Hex::Encode(input.bytes, true)
                                             : JsonText::Printable(input.text),
                                         options_.maxPrint);
    if (!input.note.empty()) {
        text += "\n   note: " + input.note;
    }
    boost::json::object event{{"index", index},
                              {"length", raw ? input.bytes.size() : input.text.size()}};
    if (raw) {
        event["hex"] = tools::Hex::Encode(input.bytes, false);
    } else {
        event["text"] = JsonText::ToValidUtf8(input.text);
        event["valid_json"] = input.note.empty();
    }
    if (!written) {
        text += "\n   the host no longer reads its input: not delivered";
        event["delivered"] = false;
    }
    printer_.Line(text);
    transcript_.Write("sent", std::move(event));
    std::lock_guard<std::mutex> lock(mutex_);
    lastActivity_ = Clock::now();
    if (!written) {
        problems_.emplace_back(kNotSent, "message " + std::to_string(index) +
                                             " could not be sent: the host no longer reads "
                                             "its input");
        closing_ = true;  // nothing later can be delivered either
        changed_.notify_all();
    }
}

// ----- ending ------------------------------------------------------------------------------

void TalkSession::WaitUntilTimeToClose() {
    const auto start = Clock::now();
    const bool limited = timeoutSeconds_ > 0;
    const auto deadline = start + Millis(timeoutSeconds_);
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (outputDone_ || closing_) {
            break;
        }
        auto wakeUp = Clock::time_point::max();
        if (inputDone_) {
            if (options_.expectFrames) {
                if (frames_ >= *options_.expectFrames) {
                    break;
                }
            } else {
                const auto quietEnd = lastActivity_ + Millis(options_.waitSeconds);
                if (Clock::now() >= quietEnd) {
                    break;
                }
                wakeUp = quietEnd;
            }
        }
        if (limited) {
            if (Clock::now() >= deadline) {
                timedOut_ = true;
                break;
            }
            wakeUp = std::min(wakeUp, deadline);
        }
        if (wakeUp == Clock::time_point::max()) {
            changed_.wait(lock);
        } else {
            changed_.wait_until(lock, wakeUp);
        }
    }
    if (timedOut_) {
        problems_.emplace_back(kTimeout,
                               "the timeout of " + Seconds(timeoutSeconds_) + " s struck");
    }
    if (outputDone_ && !inputDone_ && !interactive_) {
        problems_.emplace_back(kNotSent, "the host ended its output before all input was sent");
    }
    closing_ = true;
}

void TalkSession::CloseHostInput() {
    // A feeder stuck writing to a host that does not read holds the lock: killing the host
    // frees it.
    std::unique_lock<std::mutex> inputLock(inputMutex_, std::defer_lock);
    const auto giveUp = Clock::now() + Millis(options_.killAfterSeconds);
    while (!inputLock.try_lock()) {
        if (Clock::now() >= giveUp) {
            host_->Kill();
            inputLock.lock();
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    host_->CloseInput();
    printer_.StopPrompting();
    std::size_t sent, frames;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        sent = sent_;
        frames = frames_;
    }
    printer_.Line("talk: closed the host's input (" + Plural(sent, "message") + " sent, " +
                  Plural(frames, "frame") + " received)");
    transcript_.Write("closed", {{"sent", sent}, {"frames", frames}});
}

void TalkSession::EndHost() {
    auto status = host_->WaitForExit(Millis(options_.killAfterSeconds));
    if (!status) {
        AddProblem(kHostFailed, "the host did not exit within " +
                                    Seconds(options_.killAfterSeconds) +
                                    " s after its input closed; killed");
        host_->Kill();
        status = host_->WaitForExit(std::chrono::seconds(10));
    }
    if (!status) {
        AddProblem(kHostFailed, "the host could not be ended");
        printer_.Line("talk: the host could not be ended");
        return;
    }
    std::string how;
    if (status->killed) {
        how = "was killed";
    } else if (status->signal != 0) {
        how = "ended by signal " + std::to_string(status->signal);
        AddProblem(kHostFailed, "the host " + how);
    } else {
        how = "exited with status " + std::to_string(status->code);
        if (status->code != 0) {
            AddProblem(kHostFailed, "the host " + how);
        }
    }
    // The host's last words arrive before the exit is told.
    FinishThread(errorsThread_, errorsDone_, kStreamDrainLimit);
    std::string errors;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        errors = errorsText_;
    }
    if (errors.empty()) {
        printer_.Line("talk: the host wrote nothing to stderr");
    } else {
        errors = WithoutCarriageReturns(errors);
        if (errors.back() == '\n') {
            errors.pop_back();
        }
        printer_.Line("--- the host's stderr ---\n" + JsonText::ToValidUtf8(errors) +
                      "\n--- end of the host's stderr ---");
    }
    printer_.Line("talk: the host " + how);
    transcript_.Write(
        "exit", {{"code", status->code}, {"signal", status->signal}, {"killed", status->killed}});
}

void TalkSession::FinishThread(std::thread& thread, const bool& done, Clock::duration limit) {
    if (!thread.joinable()) {
        return;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    if (changed_.wait_for(lock, limit, [&] { return done; })) {
        lock.unlock();
        thread.join();
    } else {
        thread.detach();
        leftRunning_ = true;
    }
}

int TalkSession::Report() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (options_.expectFrames && frames_ < *options_.expectFrames) {
        problems_.emplace_back(kTooFewFrames, Plural(frames_, "frame") + " arrived, " +
                                                  std::to_string(*options_.expectFrames) +
                                                  " expected");
    }
    std::stable_sort(problems_.begin(), problems_.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    const int code = problems_.empty() ? kOk : problems_.front().first;
    boost::json::array listed;
    std::string text = "talk: " + Plural(sent_, "message") + " sent, " + Plural(frames_, "frame") +
                       " received (" + std::to_string(framesDelivered_) + " a browser delivers); ";
    if (problems_.empty()) {
        text += "all went as asked";
    } else {
        text += Plural(problems_.size(), "problem") + ", exit code " + std::to_string(code) + ":";
        for (const auto& [outcome, words] : problems_) {
            text += "\n  - " + words;
            listed.emplace_back(words);
        }
    }
    printer_.Line(text);
    transcript_.Write("end", {{"result", problems_.empty() ? "ok" : "problems"},
                              {"exit_code", code},
                              {"sent", sent_},
                              {"frames", frames_},
                              {"problems", listed}});
    return code;
}

}  // namespace browser_extensions::talk
