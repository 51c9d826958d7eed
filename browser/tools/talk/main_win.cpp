#include <windows.h>

#include "TalkMain.h"
#include "WideArguments.h"

int wmain(int argc, wchar_t* argv[]) {
    return browser_extensions::talk::TalkMain(browser_extensions::tools::Utf8Arguments(argc, argv));
}
