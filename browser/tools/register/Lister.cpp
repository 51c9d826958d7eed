#include "Commands.h"

#include <set>

#include "HostStore.h"
#include "Manifest.h"

namespace browser_extensions::registration {
namespace {

void PrintManifest(const SystemServices& services, const Entry& entry, std::ostream& out) {
    if (!entry.manifestPath) {
        out << "  problem   the key names no manifest (run doctor)\n";
        return;
    }
    out << "  manifest  " << *entry.manifestPath << "\n";
    std::string text;
    FoundManifest found;
    std::string error;
    if (!services.ReadText(*entry.manifestPath, text)) {
        out << "  problem   the manifest cannot be read (run doctor)\n";
        return;
    }
    if (!ManifestText::Read(text, found, error)) {
        out << "  problem   the manifest is " << error << " (run doctor)\n";
        return;
    }
    out << "  host      " << found.path.value_or("(missing)") << "\n";
    const auto& allowed = found.allowedOrigins ? found.allowedOrigins : found.allowedExtensions;
    if (!allowed || allowed->empty()) {
        out << "  allowed   (nobody)\n";
    }
    if (allowed) {
        for (const std::string& item : *allowed) {
            out << "  allowed   " << item << "\n";
        }
    }
}

}  // namespace

int Commands::List(SystemServices& services, const Options& options, std::ostream& out,
                   std::ostream& err) {
    const std::vector<Browser> browsers = HostStore::BrowsersOf(options);
    const HostStore store(services);
    std::vector<Location> locations;
    std::string error;
    if (!store.Locations(options, browsers, HostStore::ScopesOf(options), locations, error)) {
        err << "error: " << error << "\n";
        return 1;
    }
    int shown = 0;
    std::set<std::string> seen;  // browsers that share a key or folder list it once, as the first
    for (const Location& location : locations) {
        if (!seen.insert(location.place).second) {
            continue;
        }
        for (const Entry& entry : store.EntriesAt(location)) {
            if (options.nameGiven && entry.name != options.name) {
                continue;
            }
            ++shown;
            out << HostStore::Describe(location) << " " << entry.name << "\n";
            if (location.kind == StoreKind::RegistryKey) {
                out << "  key       " << entry.place << "\n";
            }
            PrintManifest(services, entry, out);
        }
    }
    if (shown == 0) {
        out << (options.nameGiven ? options.name + " is not registered"
                                  : std::string("no native messaging host is registered"))
            << " in the places looked at\n";
    }
    return 0;
}

}  // namespace browser_extensions::registration
