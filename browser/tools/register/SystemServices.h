#pragma once

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

// What differs between operating systems. Every text is UTF-8.
class SystemServices {
  public:
    static bool UsesRegistry();
    // Where `browser` reads manifests in `scope`, in the order it reads them; empty, with the
    // reason in `error`, when that cannot be known.
    static std::vector<Location> BrowserLocations(Browser browser, Scope scope,
                                                  const PathSettings& settings, std::string& error);
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
};

}  // namespace browser_extensions::registration
