#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "SystemServices.h"

namespace browser_extensions::registration {

// The whole tool behind the entry point: arguments after the program name, UTF-8, on the
// machine `services` stand for.
namespace Tool {

int Run(const std::vector<std::string>& arguments, SystemServices& services, std::ostream& out,
        std::ostream& err);

}  // namespace Tool

}  // namespace browser_extensions::registration
