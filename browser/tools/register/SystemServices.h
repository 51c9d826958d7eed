#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Browser.h"

namespace browser_extensions::registration {

// How a browser finds a host's manifest: a file named after the host in a folder, or a registry
// key named after the host whose default value is the manifest's path.
enum class StoreKind { Folder, RegistryKey };

struct Location {
    Browser browser = Browser::Chrome;
    Scope scope = Scope::User;
    StoreKind kind = StoreKind::Folder;
    std::string
        place;  // the folder, or the parent key such as HKCU\Software\...\NativeMessagingHosts
    bool unconfirmed = false;  // no source confirms that the browser reads it
};

// Overrides for where folders are looked up (POSIX).
struct PathSettings {
    std::string root;  // prefix put before every folder
    std::string home;  // replaces $HOME
};

struct RegistryEntry {
    bool keyExists = false;
    std::optional<std::string> defaultValue;
};

// One named value of a registry key.
struct RegistryValue {
    enum class Type { String, Dword, Other };
    std::string name;
    Type type = Type::Other;
    std::string text;          // of a string
    std::uint32_t number = 0;  // of a DWORD
};

// Administrators' policies apply when mandatory; recommended ones are defaults the user may change.
enum class PolicyLevel { Mandatory, Recommended };

// A place a browser reads policies from: a folder of JSON files, or a registry key.
struct PolicyLocation {
    StoreKind kind = StoreKind::Folder;
    PolicyLevel level = PolicyLevel::Mandatory;
    std::string place;
};

// What a program started with its standard input at its end did.
struct ProgramRun {
    bool started = false;
    std::string error;   // why it did not start, or was stopped
    int exitStatus = 0;  // when started and not stopped
    std::string output;  // its standard output and error, as written
};

// What the commands ask of the machine: its file system and its registry. The real services are
// the platform's (RealSystemServices); tests hand in an in-memory one. Every text is UTF-8.
class SystemServices {
  public:
    virtual ~SystemServices() = default;

    // Windows: registrations in the registry, the host a .exe with its libraries beside it, and
    // a host path relative to the manifest's folder. Elsewhere: manifest folders.
    virtual bool UsesRegistry() const = 0;
    // $HOME; empty when unknown.
    virtual std::string HomeFolder() const = 0;
    // Where the Chromium family keeps its user data folders instead of ~/.config:
    // $CHROME_CONFIG_HOME, else $XDG_CONFIG_HOME; empty when neither is set.
    virtual std::string ConfigFolder() const = 0;
    virtual std::string ToolFolder() const = 0;
    // The system's name and version, on one line.
    virtual std::string SystemDescription() const = 0;
    // Starts `program` in its own folder with `arguments` and its standard input at its end, as a
    // browser starts a host, and waits a few seconds for it to end (it is stopped after).
    virtual ProgramRun Run(const std::string& program,
                           const std::vector<std::string>& arguments) const = 0;

    virtual bool IsFolder(const std::string& path) const = 0;
    virtual bool IsRegularFile(const std::string& path) const = 0;
    virtual bool Exists(const std::string& path) const = 0;
    virtual bool ReadText(const std::string& path, std::string& text) const = 0;
    // The names of what `folder` holds, sorted.
    virtual std::vector<std::string> NamesIn(const std::string& folder) const = 0;
    // False, with the reason in `why`, when the file could not be started as a program.
    virtual bool IsExecutable(const std::string& path, std::string& why) const = 0;
    // Creates missing folders and replaces the file in one step, readable by every user. No link
    // someone else planted is followed, and a link at the final name is replaced, not written
    // through.
    virtual bool WriteFile(const std::string& path, const std::string& text,
                           std::string& error) = 0;
    // Removes a regular file, never a link or a folder; true when it is gone, also when it was
    // never there.
    virtual bool Remove(const std::string& path, std::string& error) = 0;
    // Empty when only administrators (or whoever runs the tool) can change `path` or any folder
    // above it; otherwise what lets someone else. Parts that do not exist yet are passed over.
    virtual std::string WhoElseCanWrite(const std::string& path) const = 0;

    virtual bool SetKeyDefault(const std::string& key, const std::string& value,
                               std::string& error) = 0;
    virtual bool DeleteKey(const std::string& key, std::string& error) = 0;
    virtual RegistryEntry ReadKey(const std::string& key) const = 0;
    virtual std::vector<std::string> SubkeysOf(const std::string& key) const = 0;
    // The key's named values (not its default value), sorted by name.
    virtual std::vector<RegistryValue> ValuesOf(const std::string& key) const = 0;
};

}  // namespace browser_extensions::registration
