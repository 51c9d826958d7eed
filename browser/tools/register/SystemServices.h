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

// What differs between operating systems. Every text is UTF-8.
class SystemServices {
  public:
    static bool UsesRegistry();
    // Where `browser` reads manifests in `scope`, in the order it reads them; empty, with the
    // reason in `error`, when that cannot be known.
    static std::vector<Location> BrowserLocations(Browser browser, Scope scope,
                                                  const PathSettings& settings, std::string& error);
    // Where `browser` reads administrators' policies, the place that wins first; empty for a
    // browser without native-messaging policies.
    static std::vector<PolicyLocation> PolicyLocations(Browser browser,
                                                       const PathSettings& settings);
    static std::string HostFileName();
    static std::string ToolFolder();
    // Windows browsers resolve a relative host path against the manifest's folder.
    static bool RelativeHostPathAllowed();
    // False, with the reason in `why`, when the file could not be started as a program.
    static bool IsExecutable(const std::string& path, std::string& why);
    // Creates missing folders and replaces the file in one step, readable by every user.
    static bool WriteFile(const std::string& path, const std::string& text, std::string& error);

    static bool SetKeyDefault(const std::string& key, const std::string& value, std::string& error);
    static bool DeleteKey(const std::string& key, std::string& error);
    static RegistryEntry ReadKey(const std::string& key);
    static std::vector<std::string> SubkeysOf(const std::string& key);
    // The key's named values (not its default value), sorted by name.
    static std::vector<RegistryValue> ValuesOf(const std::string& key);
};

}  // namespace browser_extensions::registration
