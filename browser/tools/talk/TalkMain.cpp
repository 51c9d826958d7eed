#include "TalkMain.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>

#include "Console.h"
#include "TalkOptions.h"
#include "TalkSession.h"

namespace browser_extensions::talk {

int TalkMain(const std::vector<std::string>& args) {
    Console::Prepare();
    TalkOptions options;
    if (const std::optional<int> stop =
            TalkOptionsParser::Parse(args, options, std::cout, std::cerr)) {
        return *stop;
    }
    TalkSession session(std::move(options));
    const int code = session.Run();
    if (session.LeftThreadsRunning()) {
        // A thread still blocks on a read (e.g. of the terminal): end without destructors.
        std::fflush(stdout);
        std::fflush(stderr);
        std::_Exit(code);
    }
    return code;
}

}  // namespace browser_extensions::talk
