#pragma once

#include <ostream>

#include "Options.h"
#include "SystemServices.h"

namespace browser_extensions::registration {

// The tool's commands on the machine `services` stand for. Each returns the tool's exit status.
namespace Commands {

// Writes the host manifest where the browsers look for it (Installer.cpp).
int Install(SystemServices& services, const Options& options, std::ostream& out, std::ostream& err);
// Removes it again (Installer.cpp).
int Uninstall(SystemServices& services, const Options& options, std::ostream& out,
              std::ostream& err);
// What is registered where (Lister.cpp).
int List(SystemServices& services, const Options& options, std::ostream& out, std::ostream& err);
// Walks, for each browser, the chain the browser walks to start the host and explains the first
// break; 0 when every chain holds, 1 otherwise (Doctor.cpp).
int Doctor(SystemServices& services, const Options& options, std::ostream& out, std::ostream& err);

}  // namespace Commands

}  // namespace browser_extensions::registration
