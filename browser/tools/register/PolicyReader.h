#pragma once

#include <map>
#include <string>
#include <vector>

#include "Browser.h"
#include "Policies.h"
#include "SystemServices.h"

namespace browser_extensions::registration {

// One file of a policy folder, as read.
struct PolicyFile {
    std::string path;
    std::string text;
};

// One policy key, as read: its values, and the values of its subkeys named after list policies.
struct PolicyKey {
    std::string path;
    std::vector<RegistryValue> values;
    std::map<std::string, std::vector<RegistryValue>> lists;
};

// Reads the native-messaging policies the way Chromium-family browsers do.
namespace PolicyReader {

// Where Windows' DisableCMD policy turns the command prompt off (1, or 2 which still runs batch
// files); empty when it does not.
std::string CommandPromptDisabled(const SystemServices& services);

// Every policy place of `browser`, the winning place first.
NativeMessagingPolicies Read(const SystemServices& services, Browser browser,
                             const PathSettings& settings);

// Add one place; a policy already set by an earlier place keeps its value. A folder's files are
// read in name order, a later file's value of a policy replacing an earlier one's.
void AddFolder(const std::vector<PolicyFile>& files, PolicyLevel level, const std::string& browser,
               NativeMessagingPolicies& policies);
void AddKey(const PolicyKey& key, PolicyLevel level, const std::string& browser,
            NativeMessagingPolicies& policies);

}  // namespace PolicyReader

}  // namespace browser_extensions::registration
