#include <windows.h>

#include "platform/TextEncoding.h"

#include <iostream>
#include <string>
#include <vector>

#include "Tool.h"

// The wide entry gets paths beyond the ANSI code page intact; everything inside is UTF-8, and the
// console shows it as such.
int wmain(int argc, wchar_t** argv) {
    ::SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(browser_extensions::WideToUtf8(argv[i]));
    }
    const int status = browser_extensions::registration::Tool::Run(arguments, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
