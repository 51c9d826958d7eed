#include "Console.h"

#include <csignal>
#include <iostream>

#include <unistd.h>

namespace browser_extensions::talk {

void Console::Prepare() {
    // A host that exits early closes its input pipe; the write must fail, not end the tool.
    std::signal(SIGPIPE, SIG_IGN);
}

bool Console::InputIsTerminal() {
    return ::isatty(0) == 1;
}

bool Console::ReadInputLine(std::string& line) {
    if (!std::getline(std::cin, line)) {
        return false;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return true;
}

}  // namespace browser_extensions::talk
