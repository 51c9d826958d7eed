#include "Places.h"

#include <algorithm>
#include <sstream>

namespace browser_extensions::registration::Places {
namespace {

const std::string kConfig = ".config/";
// Where a 64-bit Windows keeps the 32-bit view of HKLM\Software (HKCU\Software is one key in both).
const std::string kSoftware = "Software\\";
const std::string kThirtyTwoBitView = "Software\\WOW6432Node\\";

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

// The Chromium family keeps its user data under $CHROME_CONFIG_HOME or $XDG_CONFIG_HOME when one
// is set and no --home stands for the home folder.
std::string UserFolder(const SystemServices& system, Browser browser, const PathSettings& settings,
                       std::string& error) {
    const std::string relative = Browsers::Facts(browser).linuxUserFolder;
    const std::string config = system.ConfigFolder();
    if (settings.home.empty() && Browsers::IsChromiumFamily(browser) && !config.empty() &&
        config.front() == '/' && relative.compare(0, kConfig.size(), kConfig) == 0) {
        return WithoutTrailingSlash(config) + "/" + relative.substr(kConfig.size());
    }
    const std::string user = settings.home.empty() ? system.HomeFolder() : settings.home;
    if (user.empty() || user.front() != '/') {
        error = "the home folder is unknown: set HOME or pass --home DIR";
        return "";
    }
    return WithoutTrailingSlash(user) + "/" + relative;
}

std::vector<Location> ManifestFolders(const SystemServices& system, Browser browser, Scope scope,
                                      const PathSettings& settings, std::string& error) {
    const std::string root = WithoutTrailingSlash(settings.root);
    if (scope == Scope::User) {
        const std::string folder = UserFolder(system, browser, settings, error);
        if (folder.empty()) {
            return {};
        }
        return {Location{browser, scope, StoreKind::Folder, root + folder,
                         Unconfirmed(browser, "linux_user_folder")}};
    }
    std::vector<Location> locations;
    for (const std::string& folder : Split(Browsers::Facts(browser).linuxSystemFolders)) {
        locations.push_back(Location{browser, scope, StoreKind::Folder, root + folder,
                                     Unconfirmed(browser, "linux_system_folder")});
    }
    return locations;
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

std::string InThirtyTwoBitView(const std::string& key) {
    return key.compare(0, kSoftware.size(), kSoftware) == 0
               ? kThirtyTwoBitView + key.substr(kSoftware.size())
               : key;
}

// HKCU's keys, or HKLM's in the 32-bit view and then in the 64-bit view: the order in which
// Chromium and Firefox read them.
std::vector<Location> ManifestKeys(Browser browser, Scope scope) {
    const bool unconfirmed = Unconfirmed(browser, "windows_manifest_keys");
    const std::vector<std::string> keys = Split(Browsers::Facts(browser).windowsManifestKeys);
    std::vector<Location> locations;
    if (scope == Scope::User) {
        for (const std::string& key : keys) {
            locations.push_back(
                Location{browser, scope, StoreKind::RegistryKey, "HKCU\\" + key, unconfirmed});
        }
        return locations;
    }
    for (const std::string& key : keys) {
        locations.push_back(Location{browser, scope, StoreKind::RegistryKey,
                                     "HKLM\\" + InThirtyTwoBitView(key), unconfirmed});
    }
    for (const std::string& key : keys) {
        locations.push_back(
            Location{browser, scope, StoreKind::RegistryKey, "HKLM\\" + key, unconfirmed});
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

std::vector<std::string> Split(const std::string& cell) {
    std::vector<std::string> items;
    std::istringstream table(cell);
    for (std::string item; std::getline(table, item, '|');) {
        items.push_back(item);
    }
    return items;
}

bool Unconfirmed(Browser browser, const std::string& column) {
    const std::vector<std::string> columns = Split(Browsers::Facts(browser).unconfirmed);
    return std::find(columns.begin(), columns.end(), column) != columns.end();
}

std::vector<ConfinedInstall> ConfinedInstalls(const SystemServices& system, Browser browser,
                                              const PathSettings& settings) {
    const BrowserFacts& facts = Browsers::Facts(browser);
    const std::string root = WithoutTrailingSlash(settings.root);
    const std::string home = settings.home.empty() ? system.HomeFolder() : settings.home;
    std::vector<ConfinedInstall> installs;
    if (system.UsesRegistry()) {
        return installs;
    }
    if (*facts.linuxSnap != '\0') {
        installs.push_back(
            {"Snap", root + "/snap/" + facts.linuxSnap, "", Unconfirmed(browser, "linux_snap")});
    }
    if (*facts.linuxFlatpak != '\0') {
        const std::string id = facts.linuxFlatpak;
        const bool unconfirmed = Unconfirmed(browser, "linux_flatpak");
        const std::string own = home.empty() ? "" : WithoutTrailingSlash(home) + "/.var/app/" + id;
        installs.push_back({"Flatpak", root + "/var/lib/flatpak/app/" + id, own, unconfirmed});
        if (!own.empty()) {
            installs.push_back({"Flatpak", root + own, own, unconfirmed});
        }
    }
    return installs;
}

std::vector<Location> Manifests(const SystemServices& system, Browser browser, Scope scope,
                                const PathSettings& settings, std::string& error) {
    return system.UsesRegistry() ? ManifestKeys(browser, scope)
                                 : ManifestFolders(system, browser, scope, settings, error);
}

std::vector<Location> Registration(const SystemServices& system, Browser browser, Scope scope,
                                   const PathSettings& settings, std::string& error) {
    std::vector<Location> places = Manifests(system, browser, scope, settings, error);
    if (places.empty()) {
        return places;
    }
    // The browser's first key in the 64-bit view, which a 64-bit installer writes; the first
    // folder.
    const bool machineKeys = system.UsesRegistry() && scope == Scope::System;
    const std::size_t first = machineKeys ? places.size() / 2 : 0;
    return {places[first]};
}

std::vector<PolicyLocation> Policies(const SystemServices& system, Browser browser,
                                     const PathSettings& settings) {
    return system.UsesRegistry() ? PolicyKeys(browser) : PolicyFolders(browser, settings);
}

}  // namespace browser_extensions::registration::Places
