#pragma once

#include <ostream>

#include "Options.h"
#include "SystemServices.h"

namespace browser_extensions::registration {

// The doctor command: walks, for each browser, the chain the browser walks to start the host and
// explains the first break. Returns 0 when every chain holds, 1 otherwise.
class Doctor {
  public:
    explicit Doctor(SystemServices& services) : services_(services) {}

    int Run(const Options& options, std::ostream& out, std::ostream& err) const;

  private:
    SystemServices& services_;
};

}  // namespace browser_extensions::registration
