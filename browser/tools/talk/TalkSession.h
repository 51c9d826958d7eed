#pragma once

#include <fstream>
#include <memory>
#include <thread>

#include "HostErrors.h"
#include "HostFrames.h"
#include "HostProcess.h"
#include "InputFeeder.h"
#include "Report.h"
#include "TalkOptions.h"
#include "Tally.h"

namespace browser_extensions::talk {

// One run of the tool: starts the host, feeds it the input's messages, prints and judges every
// frame it sends, then closes its input as a browser closes the port and reports how it ended.
// Each of the three streams has its part and its thread; the Tally is all they share.
class TalkSession {
  public:
    explicit TalkSession(TalkOptions options);
    ~TalkSession();

    int Run();
    // True when a thread could not be joined (e.g. one still waits for the terminal): the
    // process must then end without running destructors.
    bool LeftThreadsRunning() const { return leftRunning_; }

  private:
    bool OpenFiles();
    bool StartHost();
    void EndHost();
    void ShowErrors();
    void FinishThread(std::thread& thread, Tally::Stream stream, Tally::Clock::duration limit);

    TalkOptions options_;
    Report report_;
    Tally tally_;
    std::ifstream inputFile_;
    std::unique_ptr<HostProcess> host_;
    std::unique_ptr<HostErrors> errors_;
    std::unique_ptr<InputFeeder> feeder_;
    std::thread framesThread_, errorsThread_, feedThread_;
    bool leftRunning_ = false;
};

}  // namespace browser_extensions::talk
