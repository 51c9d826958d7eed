#pragma once

#include <string>
#include <vector>

namespace browser_extensions::tools {

// One argument written so that the usual Windows argument parsing (CommandLineToArgvW and the C
// runtime's) gives back exactly the same text.
std::wstring QuoteArgument(const std::wstring& argument);

// The whole command line for CreateProcessW: the program in quotes (a path holds no quote, and the
// program name is parsed without backslash escapes), then each argument quoted as needed.
std::wstring BuildCommandLine(const std::wstring& program,
                              const std::vector<std::wstring>& arguments);

}  // namespace browser_extensions::tools
