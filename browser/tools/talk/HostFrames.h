#pragma once

#include "HostProcess.h"
#include "Presentation.h"
#include "Printer.h"
#include "Tally.h"
#include "Transcript.h"

namespace browser_extensions::talk {

// Reads the host's output to its end, judges each frame as a browser would and shows it as it
// arrives.
class HostFrames {
  public:
    HostFrames(HostProcess& host, const Presentation& presentation, Printer& printer,
               Transcript& transcript, Tally& tally);
    void Run();

  private:
    void OnFrame(const CheckedFrame& frame);

    HostProcess& host_;
    const Presentation& presentation_;
    Printer& printer_;
    Transcript& transcript_;
    Tally& tally_;
};

}  // namespace browser_extensions::talk
