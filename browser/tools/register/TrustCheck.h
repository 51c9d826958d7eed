#pragma once

#include <string>
#include <vector>

namespace browser_extensions::registration {

// A library the host needs in its own folder, and what goes wrong when it is elsewhere.
struct HostLibrary {
    std::string fileName;
    std::string elsewhere;
};

// Whether users other than the administrators could change what a registration for every user
// starts: one who can, could run code as each user who opens the browser.
namespace TrustCheck {
// Empty when only administrators (or whoever runs the tool) can change `path` or any folder
// above it; otherwise what lets someone else. Parts that do not exist yet are passed over:
// the tool creates them.
std::string WhoElseCanWrite(const std::string& path);
// The libraries the host loads from its own folder on this system.
std::vector<HostLibrary> LibrariesBesideHost();
}  // namespace TrustCheck

}  // namespace browser_extensions::registration
