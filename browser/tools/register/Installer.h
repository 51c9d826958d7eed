#pragma once

#include <ostream>

#include "Options.h"
#include "SystemServices.h"

namespace browser_extensions::registration {

// The install and uninstall commands. Each returns the tool's exit status.
class Installer {
  public:
    explicit Installer(SystemServices& services) : services_(services) {}

    int Install(const Options& options, std::ostream& out, std::ostream& err);
    int Uninstall(const Options& options, std::ostream& out, std::ostream& err);

  private:
    SystemServices& services_;
};

}  // namespace browser_extensions::registration
