#include "Commands.h"

#include <algorithm>
#include <optional>
#include <set>

#include "BrowserMessages.h"
#include "Files.h"
#include "HostStore.h"
#include "Identifiers.h"
#include "Manifest.h"
#include "PolicyReader.h"
#include "TestExtensionIds.h"

namespace browser_extensions::registration {
namespace {

using Outcome = PortFailure;

// The first text browser_messages.txt gives for the family and outcome, the host's name put in
// and any other varying part shown as "...".
std::string BrowserMessage(Browser browser, Outcome outcome, const std::string& name) {
    const std::string family = Browsers::IsChromiumFamily(browser) ? "chromium" : "firefox";
    auto row = std::find_if(std::begin(kBrowserMessages), std::end(kBrowserMessages),
                            [&](const BrowserMessageRow& candidate) {
                                return candidate.family == family && candidate.failure == outcome;
                            });
    if (row == std::end(kBrowserMessages)) {
        // Firefox tells a refused add-on what it tells about a missing host.
        return outcome == Outcome::Forbidden ? BrowserMessage(browser, Outcome::NotFound, name)
                                             : "the port closes";
    }
    std::string text = row->text;
    for (std::size_t open = text.find('{'); open != std::string::npos;) {
        const std::size_t close = text.find('}', open);
        const std::string part = text.substr(open + 1, close - open - 1) == "name" ? name : "...";
        text.replace(open, close - open + 1, part);
        open = text.find('{', open + part.size());
    }
    return "\"" + text + "\"";
}

// Firefox has no native-messaging policies.
PolicyVerdict PolicyVerdictFor(const SystemServices& services, const Options& options,
                               Browser browser) {
    if (!Browsers::IsChromiumFamily(browser)) {
        return {};
    }
    const PathSettings settings{options.root, options.home};
    return PolicyJudge::Judge(PolicyReader::Read(services, browser, settings), options.name);
}

// A library the host needs in its own folder, and what goes wrong when it is elsewhere.
struct HostLibrary {
    std::string fileName;
    std::string elsewhere;
};

std::vector<HostLibrary> HostLibraries(const SystemServices& services) {
    if (!services.UsesRegistry()) {
        return {};  // the Linux host finds them through its run path
    }
    return {{"Varnhold64.dll",
             "the host links it by import, so Windows would take it from the search path"},
            {"Halvern.dll", "the host loads the bridge only from its own folder"}};
}

// One browser's walk from its registration places to the host program.
class Walk {
  public:
    Walk(const HostStore& store, const SystemServices& services, const Options& options,
         Browser browser, std::vector<Location> locations, PolicyVerdict policy, std::ostream& out)
        : store_(store),
          services_(services),
          options_(options),
          browser_(browser),
          locations_(std::move(locations)),
          out_(out),
          policy_(std::move(policy)) {}

    bool Run() {
        out_ << Browsers::Name(browser_) << ": " << options_.name << "\n";
        if (!(Locate() && ManifestNamed() && ManifestRead() && JsonParsed() && MembersPresent() &&
              NameMatches() && TypeIsStdio() && PathUsable() && HostRunnable() &&
              ExtensionsAllowed())) {
            return false;
        }
        OnlyAdministratorsCanChange();
        LibrariesBesideHost();
        out_ << "  => " << Browsers::Name(browser_) << " can start the host\n";
        return !unsafe_;
    }

  private:
    bool Pass(const std::string& what) {
        out_ << "  ok    " << what << "\n";
        return true;
    }

    bool Fail(const std::string& what, const std::string& fix,
              Outcome outcome = Outcome::NotFound) {
        Finding(what, fix);
        out_ << "        " << Browsers::Name(browser_)
             << " tells the extension: " << BrowserMessage(browser_, outcome, options_.name)
             << "\n";
        return false;
    }

    // What works but must not stay so: the walk goes on, and doctor fails at the end.
    void Finding(const std::string& what, const std::string& fix) {
        out_ << "  FAIL  " << what << "\n        fix: " << fix << "\n";
        unsafe_ = true;
    }

    std::string ReinstallHint(std::optional<Scope> scope = std::nullopt) const {
        std::string hint = "run quenlow-register install --browser " + Browsers::Name(browser_);
        if (scope) {
            hint += " --" + Browsers::ScopeName(*scope);
        } else if (!options_.profileDir.empty()) {
            hint += " --profile-dir " + options_.profileDir;
        } else if (entry_.exists) {
            hint += " --" + Browsers::ScopeName(entry_.location.scope);
        }
        if (options_.nameGiven) {
            hint += " --name " + options_.name;
        }
        return hint + (Browsers::IsChromiumFamily(browser_) ? " --extension-id ID"
                                                            : " --firefox-extension ID");
    }

    std::string InFileOrKey() const {
        return entry_.location.kind == StoreKind::Folder
                   ? "the file is named " + Files::FileNameOf(entry_.place)
                   : "the key is named " + entry_.name;
    }

    // The blocklist is the browser's first check: it wins over "not installed" and the rest.
    bool PoliciesAllow() {
        if (policy_.finding.empty()) {
            return true;
        }
        for (const std::string& note : policy_.notes) {
            out_ << "  note  " << note << "\n";
        }
        if (policy_.blocked) {
            return Fail(policy_.finding, policy_.fix, Outcome::Blocked);
        }
        Pass(policy_.finding);
        if (!policy_.userLevelHosts) {
            out_ << "  note  " << NativeMessagingPolicies::kUserLevelHosts << " is false in "
                 << policy_.userLevelSource << ": " << Browsers::Name(browser_)
                 << " reads system-level registrations only\n";
        }
        return true;
    }

    bool IgnoredAsUserLevel(const Entry& entry) {
        if (!entry.exists || entry.location.scope != Scope::User || policy_.userLevelHosts) {
            return false;
        }
        if (!ignored_.exists) {
            ignored_ = entry;
        }
        out_ << "  note  " << Browsers::Name(browser_) << " passes over " << entry.place
             << " (user)\n";
        return true;
    }

    bool UserLevelHostsOff() {
        const bool folder = ignored_.location.kind == StoreKind::Folder;
        return Fail(std::string("user-level hosts are turned off by ") +
                        NativeMessagingPolicies::kUserLevelHosts + ": the manifest " +
                        (folder ? "in " + ignored_.location.place : "named by " + ignored_.place) +
                        " is ignored, install with --system",
                    ReinstallHint(Scope::System));
    }

    bool Locate() {
        if (!PoliciesAllow()) {
            return false;
        }
        std::string places;
        for (const Location& location : locations_) {
            const Entry entry = store_.Find(location, options_.name);
            if (IgnoredAsUserLevel(entry)) {
                continue;
            }
            if (entry_.exists && entry.exists) {
                out_ << "  note  also registered at " << entry.place << " ("
                     << Browsers::ScopeName(location.scope) << "), which "
                     << Browsers::Name(browser_) << " does not read while the entry above exists\n";
            } else if (entry.exists) {
                entry_ = entry;
                const bool folder = location.kind == StoreKind::Folder;
                Pass((folder ? "folder " + location.place : "registry key " + entry.place) + " (" +
                     Browsers::ScopeName(location.scope) + ")");
            } else {
                const bool noFolder =
                    location.kind == StoreKind::Folder && !services_.IsFolder(location.place);
                places += (places.empty() ? "" : ", ") + entry.place +
                          (noFolder ? " (no such folder)" : "");
            }
        }
        if (!entry_.exists && ignored_.exists) {
            return UserLevelHostsOff();
        }
        if (!entry_.exists) {
            entry_.location = locations_.front();
            return Fail("no registration found; looked for " + places, ReinstallHint());
        }
        return true;
    }

    bool ManifestNamed() {
        if (!entry_.manifestPath || entry_.manifestPath->empty()) {
            return Fail("the key " + entry_.place + " has no default value naming the manifest",
                        ReinstallHint());
        }
        if (!Files::IsAbsolute(*entry_.manifestPath)) {
            const std::string namer =
                entry_.location.kind == StoreKind::Folder ? "the registration" : "the key";
            return Fail(namer + " names the manifest by a relative path: " + *entry_.manifestPath,
                        ReinstallHint());
        }
        return true;
    }

    bool ManifestRead() {
        const std::string& path = *entry_.manifestPath;
        if (!services_.IsRegularFile(path) || !services_.ReadText(path, text_)) {
            return Fail("the manifest " + path + " does not exist or cannot be read",
                        ReinstallHint());
        }
        return Pass("manifest " + path + " exists");
    }

    bool JsonParsed() {
        std::string error;
        if (!ManifestText::Read(text_, found_, error)) {
            return Fail("the manifest is " + error,
                        "correct the file, or " + ReinstallHint() + " to write it anew");
        }
        return Pass("the manifest is a JSON object");
    }

    // The Chromium family admits origins, Firefox add-on ids.
    const char* AllowedKey() const {
        return Browsers::IsChromiumFamily(browser_) ? ManifestText::kOriginsKey
                                                    : ManifestText::kExtensionsKey;
    }
    const std::optional<std::vector<std::string>>& Allowed() const {
        return Browsers::IsChromiumFamily(browser_) ? found_.allowedOrigins
                                                    : found_.allowedExtensions;
    }

    bool MembersPresent() {
        std::string missing;
        const std::vector<std::pair<const char*, bool>> members{
            {"name", found_.name.has_value()},
            {"description", found_.description.has_value()},
            {"path", found_.path.has_value()},
            {"type", found_.type.has_value()},
            {AllowedKey(), Allowed().has_value()}};
        for (const auto& [key, present] : members) {
            if (!present) {
                missing += std::string(missing.empty() ? "" : ", ") + "\"" + key + "\"";
            }
        }
        if (!missing.empty()) {
            return Fail("missing or of the wrong type in the manifest: " + missing,
                        ReinstallHint());
        }
        if (Browsers::IsChromiumFamily(browser_)) {
            for (const std::string& origin : *Allowed()) {
                if (!IsExtensionOrigin(origin)) {
                    return Fail("\"allowed_origins\" holds \"" + origin +
                                    "\", not of the form chrome-extension://<id>/",
                                ReinstallHint());
                }
            }
        }
        NoTestExtension();
        return Pass("the manifest has every member " + Browsers::Name(browser_) + " needs");
    }

    static bool IsExtensionOrigin(const std::string& origin) {
        const std::string prefix = "chrome-extension://";
        return origin.size() == prefix.size() + 33 &&
               origin.compare(0, prefix.size(), prefix) == 0 && origin.back() == '/' &&
               Identifiers::IsValidChromiumExtensionId(origin.substr(prefix.size(), 32));
    }

    bool NameMatches() {
        if (*found_.name != entry_.name) {
            return Fail("\"name\" is \"" + *found_.name + "\" but " + InFileOrKey(),
                        "set \"name\" to \"" + entry_.name + "\", or " + ReinstallHint());
        }
        return Pass("\"name\" matches: " + InFileOrKey());
    }

    bool TypeIsStdio() {
        if (*found_.type != "stdio") {
            return Fail("\"type\" is \"" + *found_.type + "\", not \"stdio\"",
                        "set \"type\" to \"stdio\"");
        }
        return Pass("\"type\" is \"stdio\"");
    }

    bool PathUsable() {
        const std::string& path = *found_.path;
        if (Files::IsAbsolute(path)) {
            hostPath_ = path;
            return Pass("\"path\" is absolute: " + path);
        }
        if (services_.UsesRegistry() && !path.empty()) {
            hostPath_ = Files::Join(Files::FolderOf(*entry_.manifestPath), path);
            return Pass("\"path\" is relative to the manifest's folder: " + hostPath_);
        }
        return Fail("\"path\" is not absolute: \"" + path + "\"",
                    "give the host's absolute path (--host-path PATH when installing)");
    }

    // Not a break in the chain (the browser starts the host all the same): a finding.
    void NoTestExtension() {
        for (const std::string& item : *Allowed()) {
            if (IsTestExtension(item)) {
                Finding("the manifest admits " + item +
                            ", Quenlow's test extension: its id is public, so any extension can "
                            "take it and reach the host",
                        ReinstallHint() + " with your extension's ids only");
            }
        }
    }

    bool HostRunnable() {
        if (!services_.Exists(hostPath_)) {
            return Fail("the host " + hostPath_ + " does not exist",
                        "install the host there, or " + ReinstallHint() + " --host-path PATH");
        }
        std::string why;
        if (!services_.IsExecutable(hostPath_, why)) {
            // Chromium on Linux executes the host in a child it has already forked, so to it a
            // program that cannot run is one that exited (measured: browser/tests/browser).
            const bool forksFirst =
                !services_.UsesRegistry() && Browsers::IsChromiumFamily(browser_);
            return Fail("the host " + hostPath_ + " cannot be started: " + why,
                        "make it an executable program (chmod 755 on Linux)",
                        forksFirst ? Outcome::Exited : Outcome::FailedToStart);
        }
        return Pass("the host " + hostPath_ + " can be started");
    }

    bool ExtensionsAllowed() {
        const bool chromium = Browsers::IsChromiumFamily(browser_);
        std::vector<std::string> wanted;
        for (const std::string& id :
             chromium ? options_.extensionIds : options_.firefoxExtensions) {
            wanted.push_back(chromium ? Identifiers::ChromiumOrigin(id) : id);
        }
        if (wanted.empty()) {
            out_ << "  --    no " << (chromium ? "--extension-id" : "--firefox-extension")
                 << " given: which extensions may connect was not checked\n";
            return true;
        }
        const std::vector<std::string>& allowed = *Allowed();
        const std::string key = AllowedKey();
        for (const std::string& item : wanted) {
            if (std::find(allowed.begin(), allowed.end(), item) == allowed.end()) {
                return Fail(item + " is not in \"" + key + "\"",
                            "add it to \"" + key + "\", or " + ReinstallHint(), Outcome::Forbidden);
            }
            Pass(item + " is allowed");
        }
        return true;
    }

    // Every user's browser starts what a system registration names.
    void OnlyAdministratorsCanChange() {
        if (entry_.location.scope != Scope::System) {
            return;
        }
        std::set<std::string> findings;  // the manifest often sits beside the host
        for (const std::string& path : {hostPath_, Files::FolderOf(*entry_.manifestPath)}) {
            const std::string finding = services_.WhoElseCanWrite(path);
            if (!finding.empty() && findings.insert(finding).second) {
                Finding("a non-administrator can change what every user starts: " + finding,
                        "let only administrators write it and the folders above it");
            }
        }
        if (findings.empty()) {
            Pass("only administrators can change the host and the manifest");
        }
    }

    void LibrariesBesideHost() {
        for (const HostLibrary& library : HostLibraries(services_)) {
            const std::string path = Files::Join(Files::FolderOf(hostPath_), library.fileName);
            if (services_.IsRegularFile(path)) {
                Pass(library.fileName + " is beside the host");
            } else {
                Finding(library.fileName + " is not beside the host: " + library.elsewhere,
                        "install " + library.fileName + " in " + Files::FolderOf(hostPath_));
            }
        }
    }

    const HostStore& store_;
    const SystemServices& services_;
    const Options& options_;
    Browser browser_;
    std::vector<Location> locations_;
    std::ostream& out_;
    PolicyVerdict policy_;
    Entry entry_;
    Entry ignored_;  // a user-level registration the policies make the browser pass over
    std::string text_;
    FoundManifest found_;
    std::string hostPath_;
    bool unsafe_ = false;
};

bool RegisteredAnywhere(const HostStore& store, const std::vector<Location>& locations,
                        const std::string& name) {
    return std::any_of(locations.begin(), locations.end(),
                       [&](const Location& location) { return store.Find(location, name).exists; });
}

}  // namespace

int Commands::Doctor(SystemServices& services, const Options& options, std::ostream& out,
                     std::ostream& err) {
    const HostStore store(services);
    const bool browsersGiven = !options.browsers.empty();
    const std::vector<Browser> candidates = HostStore::BrowsersOf(options);
    bool healthy = true;
    int walked = 0;
    for (Browser browser : candidates) {
        std::vector<Location> locations;
        std::string error;
        if (!store.Locations(options, {browser}, HostStore::ScopesOf(options), locations, error)) {
            err << "error: " << error << "\n";
            return 1;
        }
        PolicyVerdict policy = PolicyVerdictFor(services, options, browser);
        // Without --browser only the browsers the host is registered for are of interest, and
        // those that block it: the browser tells the extension about the block even then.
        if (!browsersGiven && options.profileDir.empty() && !policy.blocked &&
            !RegisteredAnywhere(store, locations, options.name)) {
            continue;
        }
        ++walked;
        healthy =
            Walk(store, services, options, browser, std::move(locations), std::move(policy), out)
                .Run() &&
            healthy;
    }
    if (walked == 0) {
        out << options.name << " is not registered for any browser\n"
            << "  fix: run quenlow-register install with --extension-id ID and/or "
               "--firefox-extension ID\n"
            << "  browsers tell the extension: "
            << BrowserMessage(Browser::Chrome, Outcome::NotFound, options.name) << "\n";
        return 1;
    }
    return healthy ? 0 : 1;
}

}  // namespace browser_extensions::registration
