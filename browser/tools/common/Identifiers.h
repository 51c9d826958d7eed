#pragma once

#include <string>

namespace browser_extensions {

// The shapes browsers accept for host names and extension ids.
class Identifiers {
  public:
    // Lower-case letters, digits, '_' and '.'; no leading, trailing or doubled dot.
    static bool IsValidHostName(const std::string& name);
    // 32 letters from 'a' to 'p'.
    static bool IsValidChromiumExtensionId(const std::string& id);
    // "name@domain" or a braced UUID.
    static bool IsValidFirefoxExtensionId(const std::string& id);
    static std::string ChromiumOrigin(const std::string& extensionId);
};

}  // namespace browser_extensions
