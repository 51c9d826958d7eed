#pragma once

#include <string>

namespace browser_extensions::registration {

// The system's text for a Windows error code, with the code: "Access is denied. (error 5)".
std::string SystemMessage(unsigned long code);

}  // namespace browser_extensions::registration
