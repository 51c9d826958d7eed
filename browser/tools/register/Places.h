#pragma once

#include <string>
#include <vector>

#include "SystemServices.h"

namespace browser_extensions::registration {

// Where browsers look, as the table of browsers gives it: in folders (Linux) or registry keys
// (Windows). Only reckoning, no look at the machine, so either form can be tested anywhere.
namespace Places {

// `home` is the user's home folder unless `settings` replaces it.
std::vector<Location> ManifestFolders(Browser browser, Scope scope, const PathSettings& settings,
                                      const std::string& home, std::string& error);
std::vector<PolicyLocation> PolicyFolders(Browser browser, const PathSettings& settings);
std::vector<Location> ManifestKeys(Browser browser, Scope scope);
std::vector<PolicyLocation> PolicyKeys(Browser browser);

}  // namespace Places

}  // namespace browser_extensions::registration
