#pragma once

#include "HostProcess.h"
#include "Outlets.h"

namespace browser_extensions::talk {

// Reads the host's output to its end, judges each frame as a browser would and shows it as it
// arrives.
class HostFrames {
  public:
    HostFrames(HostProcess& host, Outlets out) : host_(host), out_(out) {}
    void Run();

  private:
    void OnFrame(const CheckedFrame& frame);

    HostProcess& host_;
    Outlets out_;
};

}  // namespace browser_extensions::talk
