#pragma once

#include <ostream>

#include "Options.h"

namespace browser_extensions::registration {

// The list command: what is registered where. Returns the tool's exit status.
class Lister {
  public:
    static int List(const Options& options, std::ostream& out, std::ostream& err);
};

}  // namespace browser_extensions::registration
