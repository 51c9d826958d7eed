#pragma once

#include <string>

namespace browser_extensions::talk {

// The tool's own standard streams.
class Console {
  public:
    // Binary standard output, UTF-8 text on a terminal, and no death by a closed pipe.
    static void Prepare();
    static bool InputIsTerminal();
    // One line of the tool's standard input as UTF-8, without its line end; false at the end.
    static bool ReadInputLine(std::string& line);
};

}  // namespace browser_extensions::talk
