#pragma once

#include <mutex>
#include <string>

#include "HostProcess.h"
#include "Report.h"
#include "Tally.h"

namespace browser_extensions::talk {

// Reads the host's stderr to its end: each line goes to the transcript as it comes, the whole
// text is kept for the report at the end.
class HostErrors {
  public:
    HostErrors(HostProcess& host, Report& report, Tally& tally)
        : host_(host), report_(report), tally_(tally) {}
    void Run();
    // What arrived so far, with Windows line ends made plain.
    std::string Text();

  private:
    // One line to the transcript, without its carriage return.
    void Record(std::string line);

    HostProcess& host_;
    Report& report_;
    Tally& tally_;
    std::mutex mutex_;  // guards the text: the report may read it while the host still writes
    std::string text_;
};

}  // namespace browser_extensions::talk
