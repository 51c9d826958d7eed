#pragma once

#include <map>
#include <string>
#include <vector>

namespace browser_extensions::registration {

// A list policy as the browser applies it, and the file or registry key it came from (empty when
// no valid value is set).
struct ListPolicy {
    std::vector<std::string> entries;
    std::string source;
};

// A true-or-false policy as the browser applies it; unset means its default.
struct SwitchPolicy {
    bool value = true;
    std::string source;
};

// The administrator's native-messaging policies of one Chromium-family browser.
struct NativeMessagingPolicies {
    static constexpr const char* kBlocklist = "NativeMessagingBlocklist";
    static constexpr const char* kAllowlist = "NativeMessagingAllowlist";
    static constexpr const char* kUserLevelHosts = "NativeMessagingUserLevelHosts";
    // The lists' old names, which apply while the new ones are unset.
    static constexpr const char* kLegacyBlocklist = "NativeMessagingBlacklist";
    static constexpr const char* kLegacyAllowlist = "NativeMessagingWhitelist";
    // Windows: an .exe host started directly (true) or through cmd.exe (false); unset, the
    // browser's own rollout decides.
    static constexpr const char* kLaunchDirectly = "NativeHostsExecutablesLaunchDirectly";
    static constexpr const char* kExtensionSettings = "ExtensionSettings";

    ListPolicy blocklist;
    ListPolicy allowlist;
    ListPolicy legacyBlocklist;
    ListPolicy legacyAllowlist;
    SwitchPolicy userLevelHosts;
    SwitchPolicy launchDirectly;
    // ExtensionSettings' "blocked_permissions", by extension id or "*".
    std::map<std::string, std::vector<std::string>> blockedPermissions;
    std::string extensionSettingsSource;
    std::string blocklistName = kBlocklist;  // the name the blocklist applies under
    std::vector<std::string> places;         // where they were looked for
    std::vector<std::string> notes;          // what the browser ignores, and why
};

// What those policies make of one host, in the browser's order: the blocklist is checked before
// anything else; user-level hosts only decide where the browser looks for the manifest.
struct PolicyVerdict {
    std::vector<std::string> notes;  // what the browser ignores, and why
    bool blocked = false;
    std::string finding;  // why the host is blocked, or why the policies let it through
    std::string fix;      // when blocked
    bool userLevelHosts = true;
    std::string userLevelSource;  // where they were turned off
};

namespace PolicyJudge {

PolicyVerdict Judge(const NativeMessagingPolicies& policies, const std::string& host);
// Why the extension may not use native messaging at all (ExtensionSettings takes the permission
// away); empty when it may.
std::string PermissionBlocked(const NativeMessagingPolicies& policies,
                              const std::string& extensionId);

}  // namespace PolicyJudge

}  // namespace browser_extensions::registration
