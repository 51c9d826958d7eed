#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace browser_extensions::registration {

// The whole tool behind the entry point: arguments after the program name, UTF-8.
class Tool {
  public:
    static int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
};

}  // namespace browser_extensions::registration
