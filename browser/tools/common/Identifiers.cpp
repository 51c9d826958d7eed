#include "Identifiers.h"

#include <regex>

namespace browser_extensions {
namespace {

bool Matches(const std::string& text, const char* pattern) {
    return std::regex_match(text, std::regex(pattern));
}

}  // namespace

bool Identifiers::IsValidHostName(const std::string& name) {
    return Matches(name, "[a-z0-9_]+(\\.[a-z0-9_]+)*");
}

bool Identifiers::IsValidChromiumExtensionId(const std::string& id) {
    return Matches(id, "[a-p]{32}");
}

bool Identifiers::IsValidFirefoxExtensionId(const std::string& id) {
    const char* const uuid = "\\{[0-9a-fA-F]{8}(-[0-9a-fA-F]{4}){3}-[0-9a-fA-F]{12}\\}";
    return Matches(id, uuid) || Matches(id, "[A-Za-z0-9._-]*@[A-Za-z0-9._-]+");
}

std::string Identifiers::ChromiumOrigin(const std::string& extensionId) {
    return "chrome-extension://" + extensionId + "/";
}

}  // namespace browser_extensions
