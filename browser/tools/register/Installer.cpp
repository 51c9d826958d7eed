#include "Commands.h"

#include <algorithm>
#include <optional>
#include <set>

#include "Files.h"
#include "HostStore.h"
#include "Identifiers.h"
#include "Manifest.h"

namespace browser_extensions::registration {
namespace {

constexpr int kFailure = 1;
constexpr int kUsageError = 2;

// Without ids the browsers are those the given ids suit.
std::vector<Browser> BrowsersToInstall(const Options& options) {
    if (!options.browsers.empty()) {
        return options.browsers;
    }
    if (!options.profileDir.empty()) {
        return {Browser::Chromium};
    }
    std::vector<Browser> browsers;
    for (Browser browser : Browsers::All()) {
        const bool chromium = Browsers::IsChromiumFamily(browser);
        if ((chromium && !options.extensionIds.empty()) ||
            (!chromium && !options.firefoxExtensions.empty())) {
            browsers.push_back(browser);
        }
    }
    return browsers;
}

// What keeps install from starting; empty when nothing does. A manifest that admits nobody is of
// no use, so every browser needs its extensions named.
std::string UsageProblem(const std::vector<Browser>& browsers, const Options& options,
                         const std::string& hostPath) {
    if (browsers.empty()) {
        return "name the extensions to admit: --extension-id ID and/or --firefox-extension ID";
    }
    for (Browser browser : browsers) {
        const bool chromium = Browsers::IsChromiumFamily(browser);
        if (chromium && options.extensionIds.empty()) {
            return Browsers::Name(browser) + " needs --extension-id ID";
        }
        if (!chromium && options.firefoxExtensions.empty()) {
            return "firefox needs --firefox-extension ID";
        }
    }
    if (!Files::IsAbsolute(hostPath)) {
        return "the host path must be absolute: " + hostPath;
    }
    if (!options.manifestDir.empty() && !Files::IsAbsolute(options.manifestDir)) {
        return "--manifest-dir must be absolute: " + options.manifestDir;
    }
    return "";
}

std::string HostPath(const Options& options, const SystemServices& services) {
    if (!options.hostPath.empty()) {
        return options.hostPath;
    }
    return Files::Join(services.ToolFolder(), services.UsesRegistry() ? "Quenlow.exe" : "Quenlow");
}

Manifest ManifestFor(Browser browser, const Options& options, const std::string& hostPath) {
    Manifest manifest{options.name, options.description, hostPath, false, {}};
    if (Browsers::IsChromiumFamily(browser)) {
        for (const std::string& id : options.extensionIds) {
            manifest.allowed.push_back(Identifiers::ChromiumOrigin(id));
        }
    } else {
        manifest.forFirefox = true;
        manifest.allowed = options.firefoxExtensions;
    }
    return manifest;
}

// Registry-based systems keep one manifest file per browser family beside the host; folders hold
// the manifest itself.
std::string ManifestPathFor(const HostStore& store, const Location& location,
                            const Options& options, const std::string& hostPath) {
    if (location.kind == StoreKind::Folder) {
        return store.Find(location, options.name).place;
    }
    const std::string folder =
        options.manifestDir.empty() ? Files::FolderOf(hostPath) : options.manifestDir;
    const std::string suffix =
        Browsers::IsChromiumFamily(location.browser) ? ".json" : ".firefox.json";
    return Files::Join(folder, options.name + suffix);
}

void WarnAboutHost(const SystemServices& services, const std::string& hostPath, std::ostream& err) {
    std::string why;
    if (!services.IsExecutable(hostPath, why)) {
        err << "warning: the host " << hostPath << " cannot be started yet: " << why << "\n";
    }
    const std::string characters = Files::CommandInterpreterCharacters(hostPath);
    if (services.UsesRegistry() && !characters.empty()) {
        err << "warning: the host's path holds " << characters
            << ", which cmd.exe takes for its own: a browser that starts the host through "
               "cmd.exe /d /c cannot start it (run doctor)\n";
    }
}

std::vector<Scope> ScopesOf(const Options& options) {
    return {options.scope.value_or(Scope::User)};
}

// True when another registration still names `manifestPath`, so the file must stay.
bool StillReferenced(const HostStore& store, const std::string& manifestPath,
                     const Options& options) {
    std::vector<Location> everywhere;
    std::string error;
    if (!store.Locations(options, Browsers::All(), {Scope::User, Scope::System}, everywhere,
                         error)) {
        return true;
    }
    return std::any_of(everywhere.begin(), everywhere.end(), [&](const Location& location) {
        const Entry entry = store.Find(location, options.name);
        return entry.exists && entry.manifestPath == manifestPath;
    });
}

// Removes a manifest file no key names any more, if it is this host's.
void RemoveOrphanedManifest(SystemServices& services, const std::string& manifestPath,
                            const Options& options, std::ostream& out, std::ostream& err) {
    std::string text;
    FoundManifest found;
    std::string error;
    if (StillReferenced(HostStore(services), manifestPath, options) ||
        !services.ReadText(manifestPath, text) || !ManifestText::Read(text, found, error) ||
        found.name != options.name) {
        return;
    }
    if (services.Remove(manifestPath, error)) {
        out << "removed " << manifestPath << "\n";
    } else {
        err << "error: " << error << "\n";
    }
}

// A registration every user's browser reads must start nothing a non-administrator can change.
bool CheckTrustedForEveryone(SystemServices& services, const std::vector<Location>& locations,
                             const Options& options, const std::string& hostPath,
                             std::string& error) {
    const HostStore store(services);
    std::vector<std::string> paths;
    for (const Location& location : locations) {
        if (location.scope == Scope::System) {
            paths.push_back(Files::FolderOf(ManifestPathFor(store, location, options, hostPath)));
        }
    }
    if (!paths.empty()) {
        paths.insert(paths.begin(), hostPath);
    }
    for (const std::string& path : paths) {
        const std::string finding = services.WhoElseCanWrite(path);
        if (!finding.empty()) {
            error = "refused: " + finding +
                    "; a registration for every user may name only what administrators alone "
                    "can change";
            return false;
        }
    }
    return true;
}

// A registration of the same name that the browser finds first shadows this one: it is someone
// else's, so it is only named, with how to remove it.
void WarnAboutEarlier(const HostStore& store, const Options& options, const Location& location,
                      const std::optional<std::string>& manifestPath, const char* label,
                      std::ostream& err) {
    for (const Entry& entry : store.FoundBefore(options, location, options.name)) {
        if (entry.manifestPath == manifestPath) {
            continue;
        }
        err << label << ": " << Browsers::Name(location.browser) << " reads " << entry.place << " ("
            << Browsers::ScopeName(entry.location.scope) << ") first, which names "
            << entry.manifestPath.value_or("no manifest") << ": "
            << Browsers::Name(location.browser) << " will not read " << location.place
            << " while it exists; if it is a leftover, remove it: " << HostStore::RemovalHint(entry)
            << "\n";
    }
}

}  // namespace

int Commands::Install(SystemServices& services, const Options& options, std::ostream& out,
                      std::ostream& err) {
    const std::vector<Browser> browsers = BrowsersToInstall(options);
    const std::string hostPath = HostPath(options, services);
    std::string error = UsageProblem(browsers, options, hostPath);
    if (!error.empty()) {
        err << "quenlow-register: " << error << "\n";
        return kUsageError;
    }
    HostStore store(services);
    std::vector<Location> locations;
    if (!store.Registrations(options, browsers, ScopesOf(options), locations, error)) {
        err << "error: " << error << "\n";
        return kFailure;
    }
    if (!CheckTrustedForEveryone(services, locations, options, hostPath, error)) {
        err << "quenlow-register: " << error << "\n";
        return kUsageError;
    }
    WarnAboutHost(services, hostPath, err);
    int status = 0;
    for (const Location& location : locations) {
        const std::string manifestPath = ManifestPathFor(store, location, options, hostPath);
        const Manifest manifest = ManifestFor(location.browser, options, hostPath);
        bool ok = services.WriteFile(manifestPath, ManifestText::Write(manifest), error);
        if (ok && location.kind == StoreKind::RegistryKey) {
            ok = store.Point(location, options.name, manifestPath, error);
        }
        if (!ok) {
            err << "error: " << HostStore::Describe(location) << ": " << error << "\n";
            status = kFailure;
            continue;
        }
        out << HostStore::Describe(location) << ": ";
        if (location.kind == StoreKind::RegistryKey) {
            out << store.Find(location, options.name).place << " -> ";
        }
        out << manifestPath << "\n";
        WarnAboutEarlier(store, options, location, manifestPath, "warning", err);
    }
    return status;
}

int Commands::Uninstall(SystemServices& services, const Options& options, std::ostream& out,
                        std::ostream& err) {
    const std::vector<Browser> browsers = HostStore::BrowsersOf(options);
    HostStore store(services);
    std::vector<Location> locations;
    std::string error;
    if (!store.Registrations(options, browsers, ScopesOf(options), locations, error)) {
        err << "error: " << error << "\n";
        return kFailure;
    }
    int status = 0;
    std::set<std::string> keyManifests;
    std::set<std::string> handled;  // browsers that share a key meet it more than once
    for (const Location& location : locations) {
        const Entry entry = store.Find(location, options.name);
        if (!handled.insert(entry.place).second) {
            continue;
        }
        if (!entry.exists) {
            out << HostStore::Describe(location) << ": not registered at " << entry.place << "\n";
            continue;
        }
        if (!store.Drop(entry, error)) {
            err << "error: " << HostStore::Describe(location) << ": " << error << "\n";
            status = kFailure;
            continue;
        }
        out << HostStore::Describe(location) << ": removed " << entry.place << "\n";
        // Someone else's: left as it is.
        WarnAboutEarlier(store, options, location, entry.manifestPath, "note", out);
        if (location.kind == StoreKind::RegistryKey && entry.manifestPath) {
            keyManifests.insert(*entry.manifestPath);
        }
    }
    for (const std::string& manifestPath : keyManifests) {
        RemoveOrphanedManifest(services, manifestPath, options, out, err);
    }
    return status;
}

}  // namespace browser_extensions::registration
