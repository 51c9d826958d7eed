#pragma once

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "FrameCheck.h"
#include "HostProcess.h"
#include "Printer.h"
#include "TalkOptions.h"
#include "Transcript.h"

namespace browser_extensions::talk {

// One run of the tool: starts the host, feeds it the input's messages, prints and judges every
// frame it sends, then closes its input as a browser closes the port and reports how it ended.
class TalkSession {
  public:
    // Exit codes; the lowest that applies wins.
    enum Outcome : int {
        kOk = 0,
        kBadFrame = 1,
        kBadInput = 2,
        kCannotOpen = 3,
        kTooFewFrames = 4,
        kTimeout = 5,
        kHostFailed = 6,
        kNotSent = 7,
    };

    explicit TalkSession(TalkOptions options);
    ~TalkSession();

    int Run();
    // True when a thread could not be joined (e.g. one still waits for the terminal): the
    // process must then end without running destructors.
    bool LeftThreadsRunning() const { return leftRunning_; }

  private:
    using Clock = std::chrono::steady_clock;

    bool OpenFiles();
    bool StartHost();
    void ReadOutput();
    void ReadErrors();
    void FeedInput();
    bool NextInputLine(std::string& line);
    void Send(std::size_t lineNumber, const std::string& line);
    void OnFrame(CheckedFrame frame);
    void OnErrorText(const std::string& text, bool atEnd);
    void WaitUntilTimeToClose();
    void CloseHostInput();
    void EndHost();
    void FinishThread(std::thread& thread, const bool& done, Clock::duration limit);
    int Report();
    void AddProblem(Outcome outcome, const std::string& text);

    TalkOptions options_;
    Printer printer_;
    Transcript transcript_;
    std::ifstream inputFile_;
    bool interactive_ = false;
    double timeoutSeconds_ = 0;
    std::unique_ptr<HostProcess> host_;
    std::thread outputThread_, errorsThread_, feedThread_;
    bool leftRunning_ = false;

    std::mutex mutex_;  // guards everything below
    std::condition_variable changed_;
    Clock::time_point lastActivity_;
    std::size_t sent_ = 0;
    std::size_t frames_ = 0;
    std::size_t framesDelivered_ = 0;
    bool inputDone_ = false;
    bool outputDone_ = false;
    bool errorsDone_ = false;
    bool closing_ = false;
    bool timedOut_ = false;
    std::string errorsText_;
    std::string errorsPartialLine_;
    std::vector<std::pair<Outcome, std::string>> problems_;

    std::mutex inputMutex_;  // the host's input: writes and closing
};

}  // namespace browser_extensions::talk
