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
    return std::string(NativeMessagingPolicies::kBlocklist) + " (" + entry + ") in " +
           policies.blocklist.source;
}

}  // namespace

PolicyVerdict PolicyJudge::Judge(const NativeMessagingPolicies& policies, const std::string& host) {
    PolicyVerdict verdict;
    verdict.notes = policies.notes;
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
