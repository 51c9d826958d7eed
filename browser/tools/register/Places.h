#pragma once

#include <string>
#include <vector>

#include "SystemServices.h"

namespace browser_extensions::registration {

// Where browsers look, as the table of browsers gives it: in folders (Linux) or registry keys
// (Windows). Only reckoning from the table and the system's kind, so either form can be tested
// anywhere.
namespace Places {

// Where `browser` reads manifests in `scope`, in the order it reads them; empty, with the reason
// in `error`, when that cannot be known.
std::vector<Location> Manifests(const SystemServices& system, Browser browser, Scope scope,
                                const PathSettings& settings, std::string& error);
// Where `browser` reads administrators' policies, the place that wins first; empty for a browser
// without native-messaging policies.
std::vector<PolicyLocation> Policies(const SystemServices& system, Browser browser,
                                     const PathSettings& settings);

}  // namespace Places

}  // namespace browser_extensions::registration
