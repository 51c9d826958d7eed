#include "Policies.h"

#include <algorithm>

namespace browser_extensions::registration {
namespace {

bool Names(const ListPolicy& list, const std::string& entry) {
    return std::find(list.entries.begin(), list.entries.end(), entry) != list.entries.end();
}

std::string Joined(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) {
        text += (text.empty() ? "" : ", ") + item;
    }
    return text;
}

std::string BlockedBy(const NativeMessagingPolicies& policies, const std::string& host) {
    const std::string entry = Names(policies.blocklist, host) ? host : "*";
    return policies.blocklistName + " (" + entry + ") in " + policies.blocklist.source;
}

// Chromium takes a list's old name while the new one is unset anywhere.
NativeMessagingPolicies WithLegacyNames(NativeMessagingPolicies policies,
                                        std::vector<std::string>& notes) {
    const std::pair<ListPolicy*, const ListPolicy*> lists[] = {
        {&policies.blocklist, &policies.legacyBlocklist},
        {&policies.allowlist, &policies.legacyAllowlist}};
    for (const auto& [list, legacy] : lists) {
        if (list->source.empty() && !legacy->source.empty()) {
            *list = *legacy;
            const bool block = list == &policies.blocklist;
            notes.push_back(std::string(block ? NativeMessagingPolicies::kLegacyBlocklist
                                              : NativeMessagingPolicies::kLegacyAllowlist) +
                            " in " + legacy->source + " applies under its old name: " +
                            (block ? NativeMessagingPolicies::kBlocklist
                                   : NativeMessagingPolicies::kAllowlist) +
                            " is unset");
            if (block) {
                policies.blocklistName = NativeMessagingPolicies::kLegacyBlocklist;
            }
        }
    }
    return policies;
}

}  // namespace

std::string PolicyJudge::PermissionBlocked(const NativeMessagingPolicies& policies,
                                           const std::string& extensionId) {
    // An extension's own entry replaces the "*" entry's blocked permissions.
    auto entry = policies.blockedPermissions.find(extensionId);
    if (entry == policies.blockedPermissions.end()) {
        entry = policies.blockedPermissions.find("*");
    }
    if (entry == policies.blockedPermissions.end() ||
        std::find(entry->second.begin(), entry->second.end(), "nativeMessaging") ==
            entry->second.end()) {
        return "";
    }
    return std::string(NativeMessagingPolicies::kExtensionSettings) + " in " +
           policies.extensionSettingsSource + " blocks the nativeMessaging permission of " +
           (entry->first == "*" ? "every extension" : entry->first);
}

PolicyVerdict PolicyJudge::Judge(const NativeMessagingPolicies& read, const std::string& host) {
    PolicyVerdict verdict;
    verdict.notes = read.notes;
    const NativeMessagingPolicies policies = WithLegacyNames(read, verdict.notes);
    verdict.userLevelHosts = policies.userLevelHosts.value;
    verdict.userLevelSource = policies.userLevelHosts.source;
    const std::string allowlist = NativeMessagingPolicies::kAllowlist;
    // The allowlist names hosts only: a "*" there is no wildcard.
    const bool listed = Names(policies.blocklist, host) || Names(policies.blocklist, "*");
    if (!listed) {
        verdict.finding =
            policies.blocklist.source.empty()
                ? "no policy blocks native messaging hosts (read " + Joined(policies.places) + ")"
                : std::string(NativeMessagingPolicies::kBlocklist) + " in " +
                      policies.blocklist.source + " does not name " + host;
        return verdict;
    }
    if (Names(policies.allowlist, host)) {
        verdict.finding = allowlist + " in " + policies.allowlist.source + " lets " + host +
                          " through " + BlockedBy(policies, host);
        return verdict;
    }
    verdict.blocked = true;
    verdict.finding = "blocked by the administrator's " + BlockedBy(policies, host);
    verdict.fix = "ask the administrator to add " + host + " to " + allowlist;
    return verdict;
}

}  // namespace browser_extensions::registration
