#include "Browser.h"

namespace browser_extensions::registration {

const std::vector<Browser>& Browsers::All() {
    static const std::vector<Browser> all{Browser::Chrome, Browser::Chromium, Browser::Edge,
                                          Browser::Brave,  Browser::Vivaldi,  Browser::Firefox};
    return all;
}

std::string Browsers::Name(Browser browser) {
    switch (browser) {
        case Browser::Chrome:
            return "chrome";
        case Browser::Chromium:
            return "chromium";
        case Browser::Edge:
            return "edge";
        case Browser::Brave:
            return "brave";
        case Browser::Vivaldi:
            return "vivaldi";
        case Browser::Firefox:
            return "firefox";
    }
    return "unknown";
}

std::optional<Browser> Browsers::Parse(const std::string& name) {
    for (Browser browser : All()) {
        if (Name(browser) == name) {
            return browser;
        }
    }
    return std::nullopt;
}

bool Browsers::IsChromiumFamily(Browser browser) {
    return browser != Browser::Firefox;
}

std::string Browsers::ScopeName(Scope scope) {
    return scope == Scope::User ? "user" : "system";
}

}  // namespace browser_extensions::registration
