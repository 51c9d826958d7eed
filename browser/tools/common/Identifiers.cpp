#include "Identifiers.h"

namespace browser_extensions {
namespace {

bool IsLowerOrDigit(char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
}

bool IsHexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool IsAddOnIdChar(char c) {
    return IsLowerOrDigit(c) || (c >= 'A' && c <= 'Z') || c == '-' || c == '.' || c == '_';
}

bool IsBracedUuid(const std::string& id) {
    static const std::string shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (id.size() != shape.size()) {
        return false;
    }
    for (std::size_t i = 0; i < id.size(); ++i) {
        const bool ok = shape[i] == 'x' ? IsHexDigit(id[i]) : id[i] == shape[i];
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool IsEmailLike(const std::string& id) {
    const std::size_t at = id.find('@');
    if (at == std::string::npos || at + 1 == id.size() ||
        id.find('@', at + 1) != std::string::npos) {
        return false;
    }
    for (std::size_t i = 0; i < id.size(); ++i) {
        if (i != at && !IsAddOnIdChar(id[i])) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool Identifiers::IsValidHostName(const std::string& name) {
    if (name.empty() || name.front() == '.' || name.back() == '.') {
        return false;
    }
    for (std::size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        if (c == '.') {
            if (name[i + 1] == '.') {
                return false;
            }
        } else if (!IsLowerOrDigit(c) && c != '_') {
            return false;
        }
    }
    return true;
}

bool Identifiers::IsValidChromiumExtensionId(const std::string& id) {
    if (id.size() != 32) {
        return false;
    }
    for (char c : id) {
        if (c < 'a' || c > 'p') {
            return false;
        }
    }
    return true;
}

bool Identifiers::IsValidFirefoxExtensionId(const std::string& id) {
    return IsBracedUuid(id) || IsEmailLike(id);
}

std::string Identifiers::ChromiumOrigin(const std::string& extensionId) {
    return "chrome-extension://" + extensionId + "/";
}

}  // namespace browser_extensions
