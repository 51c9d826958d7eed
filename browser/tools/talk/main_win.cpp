#include <windows.h>

#include "platform/TextEncoding.h"

#include "TalkMain.h"

int wmain(int argc, wchar_t* argv[]) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        args.push_back(browser_extensions::WideToUtf8(argv[i]));
    }
    return browser_extensions::talk::TalkMain(args);
}
