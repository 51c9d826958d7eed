#pragma once

#include <ostream>

#include "Options.h"
#include "SystemServices.h"

namespace browser_extensions::registration {

// The list command: what is registered where. Returns the tool's exit status.
class Lister {
  public:
    explicit Lister(SystemServices& services) : services_(services) {}

    int List(const Options& options, std::ostream& out, std::ostream& err) const;

  private:
    SystemServices& services_;
};

}  // namespace browser_extensions::registration
