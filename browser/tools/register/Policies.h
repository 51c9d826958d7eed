#pragma once

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

    ListPolicy blocklist;
    ListPolicy allowlist;
    SwitchPolicy userLevelHosts;
    std::vector<std::string> places;  // where they were looked for
    std::vector<std::string> notes;   // what the browser ignores, and why
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

}  // namespace PolicyJudge

}  // namespace browser_extensions::registration
