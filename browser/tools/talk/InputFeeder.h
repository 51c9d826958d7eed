#pragma once

#include <chrono>
#include <istream>
#include <mutex>
#include <string>

#include "HostProcess.h"
#include "Report.h"
#include "Tally.h"

namespace browser_extensions::talk {

// Feeds the host one message per input line until the input ends or the session closes. The
// input is a file, or the tool's own standard input (with a prompt on a terminal).
class InputFeeder {
  public:
    InputFeeder(const TalkOptions& options, std::istream* file, bool interactive, HostProcess& host,
                Report& report, Tally& tally);
    void Run();
    // Closes the host's input once a write in progress is done; a host that does not read
    // holds that write, so it is killed after `killAfter`.
    void CloseHostInput(std::chrono::milliseconds killAfter);

  private:
    bool NextLine(std::string& line);
    void Send(std::size_t lineNumber, const std::string& line);

    bool rawHex_;
    double paceSeconds_;
    std::istream* file_;
    bool interactive_;
    HostProcess& host_;
    Report& report_;
    Tally& tally_;
    std::timed_mutex writing_;  // the host's input: writes and closing
};

}  // namespace browser_extensions::talk
