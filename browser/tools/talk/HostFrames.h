#pragma once

#include "HostProcess.h"
#include "Report.h"
#include "Tally.h"

namespace browser_extensions::talk {

// Reads the host's output to its end, judges each frame as a browser would and shows it as it
// arrives.
class HostFrames {
  public:
    HostFrames(HostProcess& host, Report& report, Tally& tally)
        : host_(host), report_(report), tally_(tally) {}
    void Run();

  private:
    void OnFrame(const CheckedFrame& frame);

    HostProcess& host_;
    Report& report_;
    Tally& tally_;
};

}  // namespace browser_extensions::talk
