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
    std::string error;
    switch (TalkOptionsParser::Parse(args, options, error)) {
        case TalkOptionsParser::Outcome::Help:
            std::cout << TalkOptionsParser::Usage();
            return TalkSession::kOk;
        case TalkOptionsParser::Outcome::Error:
            std::cerr << "quenlow-talk: " << error << "\n(quenlow-talk --help for the options)\n";
            return TalkSession::kBadInput;
        case TalkOptionsParser::Outcome::Run:
            break;
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
