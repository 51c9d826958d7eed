#pragma once

#include <string>
#include <vector>

namespace browser_extensions::tools {

// The arguments of a wide entry point after the program name, in UTF-8: paths beyond the ANSI
// code page arrive intact.
std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv);

}  // namespace browser_extensions::tools
