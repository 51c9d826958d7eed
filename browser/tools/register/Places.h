#pragma once

#include <string>
#include <vector>

#include "SystemServices.h"

namespace browser_extensions::registration {

// Where browsers look, as the table of browsers gives it: in folders (Linux) or registry keys
// (Windows). Only reckoning from the table and the system's kind, so either form can be tested
// anywhere.
namespace Places {

// Every place `browser` reads manifests from in `scope`, in the order it reads them (on Windows
// both registry views); empty, with the reason in `error`, when that cannot be known.
std::vector<Location> Manifests(const SystemServices& system, Browser browser, Scope scope,
                                const PathSettings& settings, std::string& error);
// The one place of those where this tool registers the host for `browser` in `scope`.
std::vector<Location> Registration(const SystemServices& system, Browser browser, Scope scope,
                                   const PathSettings& settings, std::string& error);
// Where `browser` reads administrators' policies, the place that wins first; empty for a browser
// without native-messaging policies.
std::vector<PolicyLocation> Policies(const SystemServices& system, Browser browser,
                                     const PathSettings& settings);
// A confined install of a browser (Linux): a Snap or a Flatpak, and the folder that shows it.
struct ConfinedInstall {
    std::string kind;  // "Snap" or "Flatpak"
    std::string folder;
    std::string ownFolder;  // where a Flatpak reads hosts from; empty for a Snap
    bool unconfirmed = false;
};
// The folders that would show `browser` installed as a Snap or a Flatpak.
std::vector<ConfinedInstall> ConfinedInstalls(const SystemServices& system, Browser browser,
                                              const PathSettings& settings);
// The table's cells that hold two places or more, '|' between two.
std::vector<std::string> Split(const std::string& cell);
// True when no source confirms the table's `column` of `browser`.
bool Unconfirmed(Browser browser, const std::string& column);

}  // namespace Places

}  // namespace browser_extensions::registration
