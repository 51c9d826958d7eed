#include "PolicyReader.h"

#include <boost/json.hpp>

#include "Files.h"
#include "Places.h"

#include <algorithm>
#include <charconv>

namespace browser_extensions::registration {
namespace json = boost::json;
namespace {

using Policies = NativeMessagingPolicies;

// A policy's value as a place holds it, before the browser's type rules.
struct Candidate {
    json::value value;
    std::string source;
};
using Candidates = std::map<std::string, Candidate>;

constexpr const char* kListNames[] = {Policies::kBlocklist, Policies::kAllowlist,
                                      Policies::kLegacyBlocklist, Policies::kLegacyAllowlist};
constexpr const char* kSwitchNames[] = {Policies::kUserLevelHosts, Policies::kLaunchDirectly};
constexpr const char* kAllNames[] = {Policies::kBlocklist,        Policies::kAllowlist,
                                     Policies::kLegacyBlocklist,  Policies::kLegacyAllowlist,
                                     Policies::kUserLevelHosts,   Policies::kLaunchDirectly,
                                     Policies::kExtensionSettings};

// Chromium takes policy files with a byte-order mark, comments and trailing commas.
bool ParsePolicyText(std::string text, json::value& root, std::string& error) {
    const std::string byteOrderMark = "\xEF\xBB\xBF";
    if (text.compare(0, byteOrderMark.size(), byteOrderMark) == 0) {
        text.erase(0, byteOrderMark.size());
    }
    json::parse_options options;
    options.allow_comments = true;
    options.allow_trailing_commas = true;
    boost::system::error_code code;
    root = json::parse(text, code, {}, options);
    error = code ? code.message() : "";
    return !code;
}

// Later files override earlier ones before any type is checked, so a badly typed value in a
// later file hides a good one in an earlier file.
Candidates FromFiles(const std::vector<PolicyFile>& files, const std::string& browser,
                     Policies& policies) {
    Candidates candidates;
    for (const PolicyFile& file : files) {
        json::value root;
        std::string error;
        if (!ParsePolicyText(file.text, root, error)) {
            policies.notes.push_back(file.path + " is not valid JSON (" + error + "): " + browser +
                                     " ignores the whole file");
            continue;
        }
        if (!root.is_object()) {
            policies.notes.push_back(file.path + " does not hold a JSON object: " + browser +
                                     " ignores it");
            continue;
        }
        for (const char* name : kAllNames) {
            if (const json::value* value = root.get_object().if_contains(name)) {
                candidates[name] = Candidate{*value, file.path};
            }
        }
    }
    return candidates;
}

json::value FromRegistry(const RegistryValue& value) {
    switch (value.type) {
        case RegistryValue::Type::String:
            return json::string(value.text);
        case RegistryValue::Type::Dword:
            return static_cast<std::int64_t>(value.number);
        case RegistryValue::Type::Other:
            break;
    }
    return nullptr;
}

const RegistryValue* ValueNamed(const PolicyKey& key, const std::string& name) {
    const auto value = std::find_if(key.values.begin(), key.values.end(),
                                    [&](const RegistryValue& v) { return v.name == name; });
    return value == key.values.end() ? nullptr : &*value;
}

// A list is kept as the numbered values of a subkey, or as JSON text in a string value.
json::value ListFromSubkey(const std::vector<RegistryValue>& items) {
    json::array list;
    for (const RegistryValue& item : items) {
        list.push_back(FromRegistry(item));
    }
    return list;
}

json::value ListFromValue(const RegistryValue& value) {
    json::value parsed;
    std::string error;
    if (value.type == RegistryValue::Type::String && ParsePolicyText(value.text, parsed, error) &&
        parsed.is_array()) {
        return parsed;
    }
    return FromRegistry(value);
}

// Chromium turns a DWORD, or a string holding a number, into true when it is not 0.
json::value SwitchFromRegistry(const RegistryValue& value) {
    if (value.type == RegistryValue::Type::Dword) {
        return value.number != 0;
    }
    long long number = 0;
    const char* end = value.text.data() + value.text.size();
    if (value.type == RegistryValue::Type::String && !value.text.empty() &&
        std::from_chars(value.text.data(), end, number).ptr == end) {
        return number != 0;
    }
    return FromRegistry(value);
}

Candidates FromKey(const PolicyKey& key) {
    Candidates candidates;
    for (const char* name : kListNames) {
        const auto subkey = key.lists.find(name);
        if (subkey != key.lists.end()) {
            candidates[name] = Candidate{ListFromSubkey(subkey->second), key.path + "\\" + name};
        } else if (const RegistryValue* value = ValueNamed(key, name)) {
            candidates[name] = Candidate{ListFromValue(*value), key.path};
        }
    }
    for (const char* name : kSwitchNames) {
        if (const RegistryValue* value = ValueNamed(key, name)) {
            candidates[name] = Candidate{SwitchFromRegistry(*value), key.path};
        }
    }
    // A dictionary policy is kept as JSON text.
    if (const RegistryValue* value = ValueNamed(key, Policies::kExtensionSettings)) {
        json::value parsed;
        std::string error;
        candidates[Policies::kExtensionSettings] =
            Candidate{value->type == RegistryValue::Type::String &&
                              ParsePolicyText(value->text, parsed, error)
                          ? parsed
                          : FromRegistry(*value),
                      key.path};
    }
    return candidates;
}

// Chromium drops the entries that are not strings and keeps the rest.
std::size_t KeepText(const json::array& items, std::vector<std::string>& entries) {
    std::size_t dropped = 0;
    for (const json::value& item : items) {
        if (item.is_string()) {
            entries.emplace_back(item.get_string().data(), item.get_string().size());
        } else {
            ++dropped;
        }
    }
    return dropped;
}

void ApplyList(const Candidate& candidate, const std::string& name, const std::string& browser,
               ListPolicy& list, Policies& policies) {
    const std::string where = name + " in " + candidate.source;
    if (!candidate.value.is_array()) {
        policies.notes.push_back(where + " is not a list: " + browser + " ignores it");
        return;
    }
    list.source = candidate.source;
    const std::size_t dropped = KeepText(candidate.value.get_array(), list.entries);
    if (dropped != 0) {
        policies.notes.push_back(where + " holds entries that are not text (" +
                                 std::to_string(dropped) + "): " + browser + " drops them");
    }
    const bool wildcard =
        std::find(list.entries.begin(), list.entries.end(), "*") != list.entries.end();
    if ((name == Policies::kAllowlist || name == Policies::kLegacyAllowlist) && wildcard) {
        policies.notes.push_back("\"*\" in " + where + " is no wildcard: " + browser +
                                 " exempts only the hosts it names");
    }
}

void ApplySwitch(const Candidate& candidate, const std::string& name, const std::string& browser,
                 SwitchPolicy& policy, Policies& policies) {
    const std::string where = name + " in " + candidate.source;
    if (!candidate.value.is_bool()) {
        policies.notes.push_back(where + " is not true or false: " + browser + " ignores it");
        return;
    }
    policy = SwitchPolicy{candidate.value.get_bool(), candidate.source};
}

// Only what takes native messaging from an extension: the "blocked_permissions" of each entry.
void ApplyExtensionSettings(const Candidate& candidate, const std::string& browser,
                            Policies& policies) {
    const std::string where = std::string(Policies::kExtensionSettings) + " in " + candidate.source;
    if (!candidate.value.is_object()) {
        policies.notes.push_back(where + " is not a JSON object: " + browser + " ignores it");
        return;
    }
    policies.extensionSettingsSource = candidate.source;
    for (const auto& [id, settings] : candidate.value.get_object()) {
        const json::value* blocked = settings.is_object()
                                         ? settings.get_object().if_contains("blocked_permissions")
                                         : nullptr;
        if (blocked != nullptr && blocked->is_array()) {
            KeepText(blocked->get_array(), policies.blockedPermissions[std::string(id)]);
        }
    }
}

ListPolicy& ListNamed(const std::string& name, Policies& policies) {
    if (name == Policies::kBlocklist) {
        return policies.blocklist;
    }
    if (name == Policies::kAllowlist) {
        return policies.allowlist;
    }
    return name == Policies::kLegacyBlocklist ? policies.legacyBlocklist : policies.legacyAllowlist;
}

void Apply(const Candidates& candidates, PolicyLevel level, const std::string& browser,
           Policies& policies) {
    for (const auto& [name, candidate] : candidates) {
        if (level == PolicyLevel::Recommended) {
            policies.notes.push_back(name + " in " + candidate.source + " is only recommended: " +
                                     browser + " ignores it (it must be mandatory)");
            continue;
        }
        if (name == Policies::kExtensionSettings) {
            if (policies.extensionSettingsSource.empty()) {
                ApplyExtensionSettings(candidate, browser, policies);
            }
            continue;
        }
        if (name == Policies::kUserLevelHosts || name == Policies::kLaunchDirectly) {
            SwitchPolicy& policy = name == Policies::kUserLevelHosts ? policies.userLevelHosts
                                                                     : policies.launchDirectly;
            if (policy.source.empty()) {
                ApplySwitch(candidate, name, browser, policy, policies);
            }
            continue;
        }
        ListPolicy& list = ListNamed(name, policies);
        if (list.source.empty()) {
            ApplyList(candidate, name, browser, list, policies);
        }
    }
}

std::vector<PolicyFile> ReadFolder(const SystemServices& services, const std::string& folder,
                                   const std::string& browser, Policies& policies) {
    std::vector<PolicyFile> files;
    for (const std::string& name : services.NamesIn(folder)) {
        const std::string path = Files::Join(folder, name);
        if (!services.IsRegularFile(path)) {
            continue;
        }
        PolicyFile file{path, ""};
        if (services.ReadText(path, file.text)) {
            files.push_back(file);
        } else {
            policies.notes.push_back(path + " cannot be read here; " + browser + " may read it");
        }
    }
    return files;
}

PolicyKey ReadKey(const SystemServices& services, const std::string& path) {
    PolicyKey key{path, services.ValuesOf(path), {}};
    for (const std::string& subkey : services.SubkeysOf(path)) {
        if (std::find(std::begin(kListNames), std::end(kListNames), subkey) !=
            std::end(kListNames)) {
            key.lists[subkey] = services.ValuesOf(path + "\\" + subkey);
        }
    }
    return key;
}

}  // namespace

std::string PolicyReader::CommandPromptDisabled(const SystemServices& services) {
    // "Prevent access to the command prompt" (Group Policy, User Configuration > Administrative
    // Templates > System), as Microsoft's policy documentation gives its registry value.
    if (!services.UsesRegistry()) {
        return "";
    }
    for (const char* root : {"HKCU", "HKLM"}) {
        const std::string key =
            std::string(root) + "\\Software\\Policies\\Microsoft\\Windows\\System";
        for (const RegistryValue& value : services.ValuesOf(key)) {
            if (value.name == "DisableCMD" && value.type == RegistryValue::Type::Dword &&
                value.number != 0) {
                return key;
            }
        }
    }
    return "";
}

NativeMessagingPolicies PolicyReader::Read(const SystemServices& services, Browser browser,
                                           const PathSettings& settings) {
    Policies policies;
    const std::string name = Browsers::Name(browser);
    for (const PolicyLocation& location : Places::Policies(services, browser, settings)) {
        if (location.level == PolicyLevel::Mandatory) {
            policies.places.push_back(location.place);
        }
        if (location.kind == StoreKind::Folder) {
            AddFolder(ReadFolder(services, location.place, name, policies), location.level, name,
                      policies);
        } else {
            AddKey(ReadKey(services, location.place), location.level, name, policies);
        }
    }
    return policies;
}

void PolicyReader::AddFolder(const std::vector<PolicyFile>& files, PolicyLevel level,
                             const std::string& browser, NativeMessagingPolicies& policies) {
    Apply(FromFiles(files, browser, policies), level, browser, policies);
}

void PolicyReader::AddKey(const PolicyKey& key, PolicyLevel level, const std::string& browser,
                          NativeMessagingPolicies& policies) {
    Apply(FromKey(key), level, browser, policies);
}

}  // namespace browser_extensions::registration
