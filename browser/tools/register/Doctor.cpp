#include "Commands.h"

#include <algorithm>
#include <cctype>
#include <optional>
#include <set>
#include <sstream>

#include "BrowserMessages.h"
#include "Files.h"
#include "HostStore.h"
#include "Identifiers.h"
#include "Manifest.h"
#include "Places.h"
#include "PolicyReader.h"
#include "TestExtensionIds.h"

#include "CommandLine.h"

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
NativeMessagingPolicies PoliciesOf(const SystemServices& services, const Options& options,
                                   Browser browser) {
    if (!Browsers::IsChromiumFamily(browser)) {
        return {};
    }
    return PolicyReader::Read(services, browser, PathSettings{options.root, options.home});
}

bool IsExe(const std::string& path) {
    const std::string suffix = ".exe";
    if (path.size() < suffix.size()) {
        return false;
    }
    std::string end = path.substr(path.size() - suffix.size());
    std::transform(end.begin(), end.end(), end.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return end == suffix;
}

// A library the host needs in its own folder, and what goes wrong when it is elsewhere.
struct HostLibrary {
    std::string fileName;
    std::string elsewhere;
    bool imported;  // without it the host's process ends before the host runs
};

std::vector<HostLibrary> HostLibraries(const SystemServices& services) {
    if (!services.UsesRegistry()) {
        return {};  // the Linux host finds them through its run path
    }
    return {{"Varnhold64.dll",
             "the host links it by import: Windows does not start the host without it (or takes "
             "another copy from the search path)",
             true},
            {"Halvern.dll", "the host loads the bridge only from its own folder", false}};
}

// A Snap or Flatpak of the browser does not read the folders walked here.
void SayWhatConfinedInstallsDo(const SystemServices& services, const Options& options,
                               Browser browser, std::ostream& out) {
    const std::string name = Browsers::Name(browser);
    for (const Places::ConfinedInstall& install :
         Places::ConfinedInstalls(services, browser, PathSettings{options.root, options.home})) {
        if (!services.IsFolder(install.folder)) {
            continue;
        }
        out << "  note  a " << install.kind << " of " << name << " is installed (" << install.folder
            << (install.unconfirmed ? ", unconfirmed name" : "") << "): ";
        if (install.ownFolder.empty()) {
            out << "confined, it starts no host at all";
        } else {
            out << "it reads hosts only from its own folders under " << install.ownFolder
                << "/ and starts them only through its portal, not the host registered here";
        }
        out << "; what follows holds for " << name << " installed from a package\n";
    }
}

// One browser's walk from its registration places to the host program.
class Walk {
  public:
    Walk(const HostStore& store, const SystemServices& services, const Options& options,
         Browser browser, std::vector<Location> locations, NativeMessagingPolicies policies,
         PolicyVerdict policy, std::ostream& out)
        : store_(store),
          services_(services),
          options_(options),
          browser_(browser),
          locations_(std::move(locations)),
          out_(out),
          policies_(std::move(policies)),
          policy_(std::move(policy)) {}

    bool Run() {
        out_ << Browsers::Name(browser_) << ": " << options_.name << "\n";
        SayWhatConfinedInstallsDo(services_, options_, browser_, out_);
        if (!PoliciesAllow() || !PermissionGiven() || !Locate()) {
            return false;
        }
        if (!ChainHolds()) {
            return false;
        }
        OnlyAdministratorsCanChange();
        if (!LibrariesBesideHost()) {
            return false;
        }
        out_ << "  => " << Browsers::Name(browser_) << " can start the host";
        if (findings_ > 0) {
            out_ << ", but " << findings_ << (findings_ == 1 ? " finding" : " findings")
                 << " above must be fixed";
        }
        out_ << "\n";
        return findings_ == 0;
    }

    // The host the walk reached; empty when it did not get that far.
    const std::string& HostPath() const { return hostPath_; }

  private:
    bool Pass(const std::string& what) {
        out_ << "  ok    " << what << "\n";
        return true;
    }

    // No outcome: the extension is never told anything, for it cannot even try.
    bool Fail(const std::string& what, const std::string& fix,
              std::optional<Outcome> outcome = Outcome::NotFound) {
        if (movesOn_) {
            // Not a break: the browser reads the next place.
            out_ << "  note  " << what << ": " << Browsers::Name(browser_)
                 << " moves on to the next folder\n";
            return false;
        }
        Finding(what, fix);
        out_ << "        " << Browsers::Name(browser_) << " tells the extension: "
             << (outcome ? BrowserMessage(browser_, *outcome, options_.name)
                         : "nothing: runtime.connectNative is not there for an extension without "
                           "the nativeMessaging permission")
             << "\n";
        return false;
    }

    // What works but must not stay so: the walk goes on, and doctor fails at the end.
    void Finding(const std::string& what, const std::string& fix) {
        out_ << "  FAIL  " << what << "\n        fix: " << fix << "\n";
        ++findings_;
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

    static std::string Unconfirmed(const Location& location) {
        return location.unconfirmed ? " (unconfirmed: no source confirms that " +
                                          Browsers::Name(location.browser) + " reads it)"
                                    : "";
    }

    // Every registration the browser would find, in its order; the first is the one it takes.
    bool Locate() {
        std::string places;
        for (const Location& location : locations_) {
            const Entry entry = store_.Find(location, options_.name);
            if (IgnoredAsUserLevel(entry)) {
                continue;
            }
            if (entry.exists) {
                foundEntries_.push_back(entry);
                continue;
            }
            const bool noFolder =
                location.kind == StoreKind::Folder && !services_.IsFolder(location.place);
            places += (places.empty() ? "" : ", ") + entry.place +
                      (noFolder ? " (no such folder)" : "") + Unconfirmed(location);
        }
        if (foundEntries_.empty() && ignored_.exists) {
            return UserLevelHostsOff();
        }
        if (foundEntries_.empty()) {
            entry_.location = locations_.front();
            return Fail("no registration found; looked for " + places, ReinstallHint());
        }
        return true;
    }

    // Firefox reads the next folder when a manifest is unusable or does not admit the add-on;
    // Chromium, and Firefox in the registry, take the first registration found and no other.
    bool MovesOnFromUnusable() const {
        return !Browsers::IsChromiumFamily(browser_) && !services_.UsesRegistry();
    }

    bool ChainHolds() {
        const std::size_t tried = MovesOnFromUnusable() ? foundEntries_.size() : 1;
        for (std::size_t index = 0; index < tried; ++index) {
            entry_ = foundEntries_[index];
            movesOn_ = index + 1 < tried;
            const Location& location = entry_.location;
            const bool folder = location.kind == StoreKind::Folder;
            Pass((folder ? "folder " + location.place : "registry key " + entry_.place) + " (" +
                 Browsers::ScopeName(location.scope) + ")" + Unconfirmed(location));
            if (index == 0) {
                NoEarlierForeignRegistration();
            }
            if (ManifestNamed() && ManifestRead() && JsonParsed() && MembersPresent() &&
                NameMatches() && TypeIsStdio() && PathUsable() && HostRunnable() &&
                ExtensionsAllowed() && LaunchPathHolds()) {
                movesOn_ = false;
                return true;
            }
        }
        return false;
    }

    // Two registrations naming the same manifest, or manifests alike, are one.
    bool SameManifest(const Entry& a, const Entry& b) const {
        if (a.manifestPath == b.manifestPath) {
            return true;
        }
        std::string first;
        std::string second;
        return a.manifestPath && b.manifestPath && services_.ReadText(*a.manifestPath, first) &&
               services_.ReadText(*b.manifestPath, second) && first == second;
    }

    // A registration found first that names another manifest hides the later ones: a leftover
    // 32-bit key, or a key of another browser that this one reads first.
    void NoEarlierForeignRegistration() {
        if (MovesOnFromUnusable()) {
            return;
        }
        const Entry& winner = foundEntries_.front();
        for (std::size_t index = 1; index < foundEntries_.size(); ++index) {
            const Entry& hidden = foundEntries_[index];
            if (SameManifest(winner, hidden)) {
                out_ << "  note  also registered at " << hidden.place << " ("
                     << Browsers::ScopeName(hidden.location.scope) << "), which "
                     << Browsers::Name(browser_) << " does not read while the entry above exists\n";
                continue;
            }
            Finding(Browsers::Name(browser_) + " reads " + Described(winner) +
                        " first; the registration at " + Described(hidden) + " is never read",
                    "if " + winner.place +
                        " is a leftover, remove it: " + HostStore::RemovalHint(winner) +
                        "; otherwise remove the other: " + HostStore::RemovalHint(hidden));
        }
    }

    static std::string Described(const Entry& entry) {
        std::string text = entry.place + " (" + Browsers::ScopeName(entry.location.scope) + ")";
        if (entry.location.kind == StoreKind::RegistryKey) {
            text += ", naming " + entry.manifestPath.value_or("no manifest");
        }
        return text;
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

    // ExtensionSettings can take the permission from an extension before it tries anything.
    bool PermissionGiven() {
        std::vector<std::string> ids = options_.extensionIds;
        if (ids.empty()) {
            ids.push_back("*");
        }
        for (const std::string& id : ids) {
            const std::string blocked = PolicyJudge::PermissionBlocked(policies_, id);
            if (!blocked.empty()) {
                return Fail(blocked,
                            "ask the administrator to take nativeMessaging out of "
                            "\"blocked_permissions\" in ExtensionSettings",
                            std::nullopt);
            }
        }
        return true;
    }

    enum class Launch { ThroughCmd, Directly, Either };

    // Chromium starts an .exe directly when the policy says so, through cmd.exe when it says
    // not; unset, its own rollout decides (chrome/browser/extensions/api/messaging/
    // native_process_launcher.cc, launch_context_win.cc). Anything else always goes through
    // cmd.exe.
    Launch LaunchMode() {
        const SwitchPolicy& direct = policies_.launchDirectly;
        const std::string policy = NativeMessagingPolicies::kLaunchDirectly;
        if (!IsExe(hostPath_)) {
            Pass(Browsers::Name(browser_) +
                 " starts the host through cmd.exe /d /c: it is no .exe");
            return Launch::ThroughCmd;
        }
        if (direct.source.empty()) {
            out_ << "  --    " << Browsers::Name(browser_)
                 << " starts the host through cmd.exe /d /c or directly: " << policy
                 << " is unset, so the browser's own rollout decides\n";
            return Launch::Either;
        }
        Pass(Browsers::Name(browser_) + " starts the host " +
             (direct.value ? "directly" : "through cmd.exe /d /c") + ": " + policy + " is " +
             (direct.value ? "true" : "false") + " in " + direct.source);
        return direct.value ? Launch::Directly : Launch::ThroughCmd;
    }

    // What stops "cmd.exe /d /c <host>": characters cmd.exe takes for its own, and DisableCMD.
    bool LaunchPathHolds() {
        if (!services_.UsesRegistry() || !Browsers::IsChromiumFamily(browser_)) {
            return true;
        }
        const Launch launch = LaunchMode();
        if (launch == Launch::Directly) {
            return true;
        }
        const std::string direct = std::string(NativeMessagingPolicies::kLaunchDirectly) +
                                   " to 1 under HKLM\\" +
                                   Browsers::Facts(browser_).windowsPolicyKey;
        struct Problem {
            std::string what;
            std::string fix;
            Outcome outcome;
        };
        std::vector<Problem> problems;
        const std::string characters = Files::CommandInterpreterCharacters(hostPath_);
        if (!characters.empty()) {
            problems.push_back({"the host's path holds " + characters +
                                    ", which cmd.exe takes for its own: the start through "
                                    "cmd.exe /d /c breaks",
                                "install the host in a folder whose path has none of & ^ % | < "
                                "> ( ), or set " +
                                    direct,
                                Outcome::Exited});
        }
        const std::string disabled = PolicyReader::CommandPromptDisabled(services_);
        if (!disabled.empty()) {
            problems.push_back({"the command prompt is turned off by DisableCMD in " + disabled +
                                    ": cmd.exe refuses to start the host",
                                "set " + direct + ", or lift DisableCMD", Outcome::FailedToStart});
        }
        for (const Problem& problem : problems) {
            if (launch == Launch::ThroughCmd) {
                return Fail(problem.what, problem.fix, problem.outcome);
            }
            Finding(problem.what + " whenever " + Browsers::Name(browser_) + " uses cmd.exe",
                    problem.fix);
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

    bool LibrariesBesideHost() {
        bool starts = true;
        for (const HostLibrary& library : HostLibraries(services_)) {
            const std::string path = Files::Join(Files::FolderOf(hostPath_), library.fileName);
            if (services_.IsRegularFile(path)) {
                Pass(library.fileName + " is beside the host");
                continue;
            }
            const std::string what =
                library.fileName + " is not beside the host: " + library.elsewhere;
            const std::string fix =
                "install " + library.fileName + " in " + Files::FolderOf(hostPath_);
            if (library.imported) {
                starts = Fail(what, fix, Outcome::Exited) && starts;
            } else {
                Finding(what, fix);
            }
        }
        return starts;
    }

    const HostStore& store_;
    const SystemServices& services_;
    const Options& options_;
    Browser browser_;
    std::vector<Location> locations_;
    std::ostream& out_;
    NativeMessagingPolicies policies_;
    PolicyVerdict policy_;
    std::vector<Entry> foundEntries_;  // what the browser finds, in its order
    Entry entry_;                      // the one being walked
    bool movesOn_ = false;             // a break makes the browser read the next one
    Entry ignored_;  // a user-level registration the policies make the browser pass over
    std::string text_;
    FoundManifest found_;
    std::string hostPath_;
    int findings_ = 0;
};

bool RegisteredAnywhere(const HostStore& store, const std::vector<Location>& locations,
                        const std::string& name) {
    return std::any_of(locations.begin(), locations.end(),
                       [&](const Location& location) { return store.Find(location, name).exists; });
}

void SayWhatSystemScopeCannotSee(const SystemServices& services, const Options& options,
                                 std::ostream& out) {
    if (options.scope != Scope::System) {
        return;
    }
    out << "note: with --system only the machine's registrations are read, not those of the user "
           "who runs the browser ("
        << (services.UsesRegistry() ? "HKCU" : "the folders in their home folder")
        << "), which that user's browser reads first: run quenlow-register doctor as that user "
           "to see them\n";
}

// How a Chromium-family browser starts the host: with the extension's origin, and on Windows its
// window.
std::vector<std::string> BrowserArguments(const SystemServices& services, const Options& options) {
    const std::string id =
        options.extensionIds.empty() ? std::string(32, 'a') : options.extensionIds.front();
    std::vector<std::string> arguments{Identifiers::ChromiumOrigin(id)};
    if (services.UsesRegistry()) {
        arguments.push_back("--parent-window=0");
    }
    return arguments;
}

std::string Indented(const std::string& text) {
    std::string indented;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        indented += "    " + line + "\n";
    }
    return indented.empty() ? "    (nothing)\n" : indented;
}

// One text a user can attach to a ticket: versions, the system, each browser's walk with the
// policies read, and the host started as a browser starts it. No environment, no message text.
std::string Report(const SystemServices& services, const Options& options, const std::string& walks,
                   const std::set<std::string>& hosts) {
    std::ostringstream report;
    report << "Quenlow support report\n"
           << "tool: quenlow-register " << tools::CommandLine::Version() << "\n"
           << "system: " << services.SystemDescription() << "\n\n"
           << "== what each browser finds ==\n"
           << walks << "\n== the host started as a browser starts it ==\n";
    if (hosts.empty()) {
        report << "no walk reached a host program\n";
    }
    for (const std::string& host : hosts) {
        const std::vector<std::string> arguments = BrowserArguments(services, options);
        report << "host: " << host << " (it prints no version; the package ships it with the tool "
               << "of the same version)\narguments:";
        for (const std::string& argument : arguments) {
            report << " " << argument;
        }
        report << "\nstandard input: at its end\n";
        const ProgramRun run = services.Run(host, arguments);
        if (!run.started) {
            report << "not started: " << run.error << "\n";
            continue;
        }
        report << "exit status: " << run.exitStatus
               << (run.error.empty() ? "" : " (" + run.error + ")") << "\noutput:\n"
               << Indented(run.output);
    }
    if (services.UsesRegistry()) {
        report
            << "\nNot in this report: the signatures of the host's files (see their properties), "
               "and the host's debugger lines (quenlow-dbgcapture captures them).\n";
    }
    return report.str();
}

}  // namespace

int Commands::Doctor(SystemServices& services, const Options& options, std::ostream& out,
                     std::ostream& err) {
    const HostStore store(services);
    const bool browsersGiven = !options.browsers.empty();
    const std::vector<Browser> candidates = HostStore::BrowsersOf(options);
    std::ostringstream walks;
    SayWhatSystemScopeCannotSee(services, options, walks);
    bool healthy = true;
    int walked = 0;
    std::set<std::string> hosts;
    for (Browser browser : candidates) {
        std::vector<Location> locations;
        std::string error;
        if (!store.Locations(options, {browser}, HostStore::ScopesOf(options), locations, error)) {
            err << "error: " << error << "\n";
            return 1;
        }
        NativeMessagingPolicies policies = PoliciesOf(services, options, browser);
        PolicyVerdict policy = PolicyJudge::Judge(policies, options.name);
        // Without --browser a browser the host is not registered for is named and passed over,
        // unless its policies block the host: the browser tells the extension about the block
        // even then.
        if (!browsersGiven && options.profileDir.empty() && !policy.blocked &&
            !RegisteredAnywhere(store, locations, options.name)) {
            walks << Browsers::Name(browser) << ": " << options.name << "\n";
            SayWhatConfinedInstallsDo(services, options, browser, walks);
            walks << "  --    not registered for " << Browsers::Name(browser)
                  << ": skipped (name it with --browser " << Browsers::Name(browser)
                  << " to check it as a failure)\n";
            continue;
        }
        ++walked;
        Walk walk(store, services, options, browser, std::move(locations), std::move(policies),
                  std::move(policy), walks);
        healthy = walk.Run() && healthy;
        if (!walk.HostPath().empty()) {
            hosts.insert(walk.HostPath());
        }
    }
    if (walked == 0) {
        walks << options.name << " is not registered for any browser\n"
              << "  fix: run quenlow-register install with --extension-id ID and/or "
                 "--firefox-extension ID\n"
              << "  browsers tell the extension: "
              << BrowserMessage(Browser::Chrome, Outcome::NotFound, options.name) << "\n";
        healthy = false;
    }
    out << walks.str();
    if (!options.report.empty()) {
        std::string error;
        if (!services.WriteFile(options.report, Report(services, options, walks.str(), hosts),
                                error)) {
            err << "error: " << error << "\n";
            return 1;
        }
        out << "report written to " << options.report << "\n";
    }
    return healthy ? 0 : 1;
}

}  // namespace browser_extensions::registration
