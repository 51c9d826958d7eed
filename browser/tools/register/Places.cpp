#include "Places.h"

#include <sstream>

namespace browser_extensions::registration::Places {
namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The keys in the order the browser reads them; the table puts '|' between two.
std::vector<std::string> KeysOf(Browser browser) {
    std::vector<std::string> keys;
    std::istringstream table(Browsers::Facts(browser).windowsManifestKeys);
    for (std::string key; std::getline(table, key, '|');) {
        keys.push_back(key);
    }
    return keys;
}

std::vector<Location> ManifestFolders(Browser browser, Scope scope, const PathSettings& settings,
                                      const std::string& home, std::string& error) {
    const BrowserFacts& facts = Browsers::Facts(browser);
    std::string folder;
    if (scope == Scope::User) {
        const std::string user = settings.home.empty() ? home : settings.home;
        if (user.empty() || user.front() != '/') {
            error = "the home folder is unknown: set HOME or pass --home DIR";
            return {};
        }
        folder = WithoutTrailingSlash(user) + "/" + facts.linuxUserFolder;
    } else {
        folder = facts.linuxSystemFolder;
    }
    return {
        Location{browser, scope, StoreKind::Folder, WithoutTrailingSlash(settings.root) + folder}};
}

std::vector<PolicyLocation> PolicyFolders(Browser browser, const PathSettings& settings) {
    // managed/ holds what applies, recommended/ what users may change.
    const std::string folder = Browsers::Facts(browser).linuxPolicyFolder;
    if (folder.empty()) {
        return {};
    }
    const std::string base = WithoutTrailingSlash(settings.root) + folder;
    return {PolicyLocation{StoreKind::Folder, PolicyLevel::Mandatory, base + "/managed"},
            PolicyLocation{StoreKind::Folder, PolicyLevel::Recommended, base + "/recommended"}};
}

std::vector<Location> ManifestKeys(Browser browser, Scope scope) {
    const std::string root = scope == Scope::User ? "HKCU\\" : "HKLM\\";
    std::vector<Location> locations;
    for (const std::string& key : KeysOf(browser)) {
        locations.push_back(Location{browser, scope, StoreKind::RegistryKey, root + key});
    }
    return locations;
}

std::vector<PolicyLocation> PolicyKeys(Browser browser) {
    // The Recommended subkey holds what users may change.
    const std::string key = Browsers::Facts(browser).windowsPolicyKey;
    if (key.empty()) {
        return {};
    }
    // A machine's policy wins over the same policy of the user.
    const std::string machine = "HKLM\\" + key;
    const std::string user = "HKCU\\" + key;
    return {
        PolicyLocation{StoreKind::RegistryKey, PolicyLevel::Mandatory, machine},
        PolicyLocation{StoreKind::RegistryKey, PolicyLevel::Mandatory, user},
        PolicyLocation{StoreKind::RegistryKey, PolicyLevel::Recommended, machine + "\\Recommended"},
        PolicyLocation{StoreKind::RegistryKey, PolicyLevel::Recommended, user + "\\Recommended"}};
}

}  // namespace

std::vector<Location> Manifests(const SystemServices& system, Browser browser, Scope scope,
                                const PathSettings& settings, std::string& error) {
    return system.UsesRegistry()
               ? ManifestKeys(browser, scope)
               : ManifestFolders(browser, scope, settings, system.HomeFolder(), error);
}

std::vector<PolicyLocation> Policies(const SystemServices& system, Browser browser,
                                     const PathSettings& settings) {
    return system.UsesRegistry() ? PolicyKeys(browser) : PolicyFolders(browser, settings);
}

}  // namespace browser_extensions::registration::Places
