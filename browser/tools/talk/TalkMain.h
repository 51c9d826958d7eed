#pragma once

#include <string>
#include <vector>

namespace browser_extensions::talk {

// The whole tool, from its arguments (UTF-8, without the program name) to its exit code.
int TalkMain(const std::vector<std::string>& args);

}  // namespace browser_extensions::talk
