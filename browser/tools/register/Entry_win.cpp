#include <windows.h>

#include <iostream>
#include <string>
#include <vector>

#include "Tool.h"

namespace {

std::string Utf8(const wchar_t* wide) {
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) {
        return {};
    }
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8.data(), size, nullptr, nullptr);
    utf8.pop_back();  // the terminator
    return utf8;
}

}  // namespace

// The wide entry gets paths beyond the ANSI code page intact; everything inside is UTF-8, and the
// console shows it as such.
int wmain(int argc, wchar_t** argv) {
    ::SetConsoleOutputCP(CP_UTF8);
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(Utf8(argv[i]));
    }
    const int status = browser_extensions::registration::Tool::Run(arguments, std::cout, std::cerr);
    std::cout.flush();
    return status;
}
