#include "Browser.h"

namespace browser_extensions::registration::Browsers {

const std::vector<Browser>& All() {
    static const std::vector<Browser> all = [] {
        std::vector<Browser> browsers;
        for (const BrowserFacts& facts : kBrowserTable) {
            browsers.push_back(facts.browser);
        }
        return browsers;
    }();
    return all;
}

const BrowserFacts& Facts(Browser browser) {
    return kBrowserTable[static_cast<std::size_t>(browser)];
}

std::string Name(Browser browser) {
    return Facts(browser).name;
}

std::optional<Browser> Parse(const std::string& name) {
    for (const BrowserFacts& facts : kBrowserTable) {
        if (name == facts.name) {
            return facts.browser;
        }
    }
    return std::nullopt;
}

bool IsChromiumFamily(Browser browser) {
    return Facts(browser).family == Family::Chromium;
}

std::string ScopeName(Scope scope) {
    return scope == Scope::User ? "user" : "system";
}

}  // namespace browser_extensions::registration::Browsers
