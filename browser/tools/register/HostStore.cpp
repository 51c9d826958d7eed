#include "HostStore.h"

#include <algorithm>

#include "Files.h"
#include "Places.h"

namespace browser_extensions::registration {
namespace {

const std::string kManifestSuffix = ".json";

std::string KeyOf(const Location& location, const std::string& name) {
    return location.place + "\\" + name;
}

// A profile folder is one browser's; the machine's folders still follow it.
std::vector<Browser> ProfileBrowser(const Options& options, const std::vector<Browser>& browsers) {
    if (options.profileDir.empty()) {
        return browsers;
    }
    return {browsers.empty() ? Browser::Chromium : browsers.front()};
}

}  // namespace

std::vector<Browser> HostStore::BrowsersOf(const Options& options) {
    if (!options.browsers.empty()) {
        return options.browsers;
    }
    return options.profileDir.empty() ? Browsers::All() : std::vector<Browser>{Browser::Chromium};
}

std::vector<Scope> HostStore::ScopesOf(const Options& options) {
    return options.scope ? std::vector<Scope>{*options.scope}
                         : std::vector<Scope>{Scope::User, Scope::System};
}

bool HostStore::AddLocations(const Options& options, const std::vector<Browser>& browsers,
                             const std::vector<Scope>& scopes, bool everyPlace,
                             std::vector<Location>& locations, std::string& error) const {
    const PathSettings settings{options.root, options.home};
    const auto placesOf = everyPlace ? Places::Manifests : Places::Registration;
    for (Browser browser : browsers) {
        for (Scope scope : scopes) {
            if (scope == Scope::User && !options.profileDir.empty()) {
                // <user-data-dir>/NativeMessagingHosts is a Chromium-family browser's user-level
                // folder.
                locations.push_back(
                    Location{browser, Scope::User, StoreKind::Folder,
                             Files::Join(options.profileDir, "NativeMessagingHosts")});
                continue;
            }
            const std::vector<Location> found =
                placesOf(services_, browser, scope, settings, error);
            if (found.empty()) {
                return false;
            }
            locations.insert(locations.end(), found.begin(), found.end());
        }
    }
    return true;
}

bool HostStore::Locations(const Options& options, const std::vector<Browser>& browsers,
                          const std::vector<Scope>& scopes, std::vector<Location>& locations,
                          std::string& error) const {
    return AddLocations(options, ProfileBrowser(options, browsers), scopes, true, locations, error);
}

bool HostStore::Registrations(const Options& options, const std::vector<Browser>& browsers,
                              const std::vector<Scope>& scopes, std::vector<Location>& locations,
                              std::string& error) const {
    return AddLocations(options, ProfileBrowser(options, browsers), scopes, false, locations,
                        error);
}

Entry HostStore::Find(const Location& location, const std::string& name) const {
    Entry entry{location, name, "", false, std::nullopt};
    if (location.kind == StoreKind::Folder) {
        entry.place = Files::Join(location.place, name + kManifestSuffix);
        entry.exists = services_.Exists(entry.place);
        if (entry.exists) {
            entry.manifestPath = entry.place;
        }
    } else {
        entry.place = KeyOf(location, name);
        const RegistryEntry key = services_.ReadKey(entry.place);
        entry.exists = key.keyExists;
        entry.manifestPath = key.defaultValue;
    }
    return entry;
}

std::vector<Entry> HostStore::FoundBefore(const Options& options, const Location& target,
                                          const std::string& name) const {
    std::vector<Location> walk;
    std::string error;
    std::vector<Entry> found;
    if (!Locations(options, {target.browser}, {Scope::User, Scope::System}, walk, error)) {
        return found;
    }
    for (const Location& location : walk) {
        if (location.place == target.place) {
            break;
        }
        const Entry entry = Find(location, name);
        if (entry.exists) {
            found.push_back(entry);
        }
    }
    return found;
}

std::string HostStore::RemovalHint(const Entry& entry) {
    return entry.location.kind == StoreKind::Folder ? "rm '" + entry.place + "'"
                                                    : "reg delete \"" + entry.place + "\" /f";
}

std::vector<Entry> HostStore::EntriesAt(const Location& location) const {
    std::vector<std::string> names;
    if (location.kind == StoreKind::Folder) {
        for (const std::string& file : services_.NamesIn(location.place)) {
            const std::size_t stem = file.size() - std::min(file.size(), kManifestSuffix.size());
            if (stem > 0 && file.compare(stem, std::string::npos, kManifestSuffix) == 0) {
                names.push_back(file.substr(0, stem));
            }
        }
    } else {
        names = services_.SubkeysOf(location.place);
    }
    std::vector<Entry> entries;
    for (const std::string& name : names) {
        entries.push_back(Find(location, name));
    }
    return entries;
}

bool HostStore::Point(const Location& location, const std::string& name,
                      const std::string& manifestPath, std::string& error) {
    return services_.SetKeyDefault(KeyOf(location, name), manifestPath, error);
}

bool HostStore::Drop(const Entry& entry, std::string& error) {
    if (entry.location.kind == StoreKind::Folder) {
        return services_.Remove(entry.place, error);
    }
    return services_.DeleteKey(entry.place, error);
}

std::string HostStore::Describe(const Location& location) {
    return Browsers::Name(location.browser) + " (" + Browsers::ScopeName(location.scope) + ")";
}

}  // namespace browser_extensions::registration
