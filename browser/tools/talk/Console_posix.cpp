#include "Console.h"
#include "InputLine.h"

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
    return InputLine::Read(std::cin, line);
}

}  // namespace browser_extensions::talk
