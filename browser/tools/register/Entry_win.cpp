#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "RealSystemServices.h"
#include "Tool.h"
#include "WideArguments.h"

// The wide entry gets paths beyond the ANSI code page intact; everything inside is UTF-8, and the
// console shows it as such.
int wmain(int argc, wchar_t** argv) {
    ::SetConsoleOutputCP(CP_UTF8);
    const std::vector<std::string> arguments = browser_extensions::tools::Utf8Arguments(argc, argv);
    browser_extensions::registration::RealSystemServices services;
    const int status =
        browser_extensions::registration::Tool::Run(arguments, services, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
