#pragma once

#include <ostream>

#include "Options.h"

namespace browser_extensions::registration {

// The install and uninstall commands. Each returns the tool's exit status.
class Installer {
  public:
    static int Install(const Options& options, std::ostream& out, std::ostream& err);
    static int Uninstall(const Options& options, std::ostream& out, std::ostream& err);
};

}  // namespace browser_extensions::registration
