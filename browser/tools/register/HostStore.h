#pragma once

#include <optional>
#include <string>
#include <vector>

#include "Options.h"
#include "SystemServices.h"

namespace browser_extensions::registration {

// One host's registration at one location, as a browser finds it.
struct Entry {
    Location location;
    std::string name;
    std::string place;  // the manifest file in a folder, or the host's registry key
    bool exists = false;
    std::optional<std::string> manifestPath;  // the file itself, or the key's default value
};

// Registrations in folders and registry keys, alike for the commands.
class HostStore {
  public:
    explicit HostStore(SystemServices& services) : services_(services) {}

    // The browsers a command walks when none is named: a profile folder is a Chromium one's.
    static std::vector<Browser> BrowsersOf(const Options& options);
    // The scopes a command reads when none is named: both.
    static std::vector<Scope> ScopesOf(const Options& options);
    static std::string Describe(const Location& location);

    // Every location the browsers read, in the order each reads them; false with `error` when
    // they cannot be known.
    bool Locations(const Options& options, const std::vector<Browser>& browsers,
                   const std::vector<Scope>& scopes, std::vector<Location>& locations,
                   std::string& error) const;
    // Of those, the ones this tool writes: one per browser and scope.
    bool Registrations(const Options& options, const std::vector<Browser>& browsers,
                       const std::vector<Scope>& scopes, std::vector<Location>& locations,
                       std::string& error) const;
    Entry Find(const Location& location, const std::string& name) const;
    // The registrations of `name` that `target`'s browser finds before `target`, user and system
    // places alike, in its order.
    std::vector<Entry> FoundBefore(const Options& options, const Location& target,
                                   const std::string& name) const;
    // How to remove the registration of an entry by hand.
    static std::string RemovalHint(const Entry& entry);
    std::vector<Entry> EntriesAt(const Location& location) const;
    // Makes `manifestPath` the manifest of `name` at a registry location.
    bool Point(const Location& location, const std::string& name, const std::string& manifestPath,
               std::string& error);
    // Removes the file or the key of an existing entry.
    bool Drop(const Entry& entry, std::string& error);

  private:
    bool AddLocations(const Options& options, const std::vector<Browser>& browsers,
                      const std::vector<Scope>& scopes, bool everyPlace,
                      std::vector<Location>& locations, std::string& error) const;

    SystemServices& services_;
};

}  // namespace browser_extensions::registration
