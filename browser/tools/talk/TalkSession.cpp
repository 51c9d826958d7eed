#include "TalkSession.h"

#include <filesystem>

#include <boost/json/array.hpp>

#include "Console.h"
#include "JsonText.h"

namespace browser_extensions::talk {
namespace {

constexpr double kDefaultTimeoutSeconds = 30;
constexpr auto kStreamDrainLimit = std::chrono::seconds(2);

}  // namespace

TalkSession::TalkSession(TalkOptions options) : options_(std::move(options)), report_(options_) {}

TalkSession::~TalkSession() = default;

bool TalkSession::OpenFiles() {
    if (options_.transcriptFile && !report_.OpenTranscript(*options_.transcriptFile)) {
        report_.Line("talk: cannot write the transcript " + *options_.transcriptFile);
        return false;
    }
    if (options_.inputFile) {
        inputFile_.open(std::filesystem::u8path(*options_.inputFile), std::ios::binary);
        if (!inputFile_.is_open()) {
            report_.Line("talk: cannot read the input " + *options_.inputFile);
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
    LaunchSpec launch{
        program.u8string(), {}, program.parent_path().u8string(), options_.environment};
    if (options_.passOrigin) {
        launch.arguments.push_back(options_.origin);
    }
    launch.arguments.insert(launch.arguments.end(), options_.hostArguments.begin(),
                            options_.hostArguments.end());
    std::string error;
    host_ = HostProcess::Start(launch, error);
    if (!host_) {
        report_.Line("talk: " + error);
        report_.Event("start", {{"program", launch.program}, {"error", error}});
        return false;
    }
    std::string shown;
    boost::json::array arguments;
    for (const auto& argument : launch.arguments) {
        shown += " " + argument;
        arguments.emplace_back(argument);
    }
    report_.Line("talk: started " + launch.program + " (process " + std::to_string(host_->Id()) +
                 ") in " + launch.workingDirectory + "; arguments:" + shown);
    report_.Event("start", {{"program", launch.program},
                            {"arguments", arguments},
                            {"directory", launch.workingDirectory},
                            {"pid", host_->Id()}});
    return true;
}

int TalkSession::Run() {
    if (!OpenFiles() || !StartHost()) {
        report_.Event("end", {{"result", "cannot-open"}, {"exit_code", Tally::kCannotOpen}});
        return Tally::kCannotOpen;
    }
    Tally::EndRule rule;
    rule.interactive = !options_.inputFile && Console::InputIsTerminal();
    rule.timeoutSeconds =
        options_.timeoutSeconds.value_or(rule.interactive ? 0.0 : kDefaultTimeoutSeconds);
    rule.expectFrames = options_.expectFrames;
    rule.waitSeconds = options_.waitSeconds;
    errors_ = std::make_unique<HostErrors>(*host_, report_, tally_);
    feeder_ = std::make_unique<InputFeeder>(options_, options_.inputFile ? &inputFile_ : nullptr,
                                            rule.interactive, *host_, report_, tally_);
    framesThread_ = std::thread([this] { ReadHostFrames(*host_, report_, tally_); });
    errorsThread_ = std::thread([this] { errors_->Run(); });
    feedThread_ = std::thread([this] { feeder_->Run(); });

    tally_.WaitUntilTimeToClose(rule);
    feeder_->CloseHostInput(Millis(options_.killAfterSeconds));
    report_.StopPrompting();
    const Tally::Counts counts = tally_.Count();
    report_.Line("talk: closed the host's input (" + Plural(counts.sent, "message") + " sent, " +
                 Plural(counts.frames, "frame") + " received)");
    report_.Event("closed", {{"sent", counts.sent}, {"frames", counts.frames}});
    EndHost();
    FinishThread(framesThread_, Tally::Stream::Output, kStreamDrainLimit);
    FinishThread(errorsThread_, Tally::Stream::Errors, kStreamDrainLimit);
    FinishThread(feedThread_, Tally::Stream::Input, std::chrono::milliseconds(200));
    return tally_.Summarize(options_.expectFrames, report_);
}

void TalkSession::EndHost() {
    auto status = host_->WaitForExit(Millis(options_.killAfterSeconds));
    if (!status) {
        tally_.AddProblem(Tally::kHostFailed, "the host did not exit within " +
                                                  SecondsText(options_.killAfterSeconds) +
                                                  " s after its input closed; killed");
        host_->Kill();
        status = host_->WaitForExit(std::chrono::seconds(10));
    }
    if (!status) {
        tally_.AddProblem(Tally::kHostFailed, "the host could not be ended");
        report_.Line("talk: the host could not be ended");
        return;
    }
    std::string how;
    if (status->killed) {
        how = "was killed";
    } else if (status->signal != 0) {
        how = "ended by signal " + std::to_string(status->signal);
        tally_.AddProblem(Tally::kHostFailed, "the host " + how);
    } else {
        how = "exited with status " + std::to_string(status->code);
        if (status->code != 0) {
            tally_.AddProblem(Tally::kHostFailed, "the host " + how);
        }
    }
    // The host's last words arrive before the exit is told.
    FinishThread(errorsThread_, Tally::Stream::Errors, kStreamDrainLimit);
    ShowErrors();
    report_.Line("talk: the host " + how);
    report_.Event("exit",
                  {{"code", status->code}, {"signal", status->signal}, {"killed", status->killed}});
}

void TalkSession::ShowErrors() {
    std::string errors = errors_->Text();
    if (errors.empty()) {
        report_.Line("talk: the host wrote nothing to stderr");
        return;
    }
    if (errors.back() == '\n') {
        errors.pop_back();
    }
    report_.Line("--- the host's stderr ---\n" + JsonText::ToValidUtf8(errors) +
                 "\n--- end of the host's stderr ---");
}

void TalkSession::FinishThread(std::thread& thread, Tally::Stream stream,
                               Tally::Clock::duration limit) {
    if (!thread.joinable()) {
        return;
    }
    if (tally_.WaitUntilEnded(stream, limit)) {
        thread.join();
    } else {
        thread.detach();
        leftRunning_ = true;
    }
}

}  // namespace browser_extensions::talk
