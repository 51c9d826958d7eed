#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "PolicyReader.h"

namespace browser_extensions::registration {
namespace {

const std::string kHost = "com.quenlow.host";

struct Expected {
    bool blocked;
    bool userLevelHosts;
    std::string finding;  // part of the verdict's finding
    std::string note;     // part of the one note expected; empty: no note
};

void Check(const NativeMessagingPolicies& policies, const Expected& expected) {
    const PolicyVerdict verdict = PolicyJudge::Judge(policies, kHost);
    EXPECT_EQ(verdict.blocked, expected.blocked) << verdict.finding;
    EXPECT_EQ(verdict.userLevelHosts, expected.userLevelHosts);
    EXPECT_NE(verdict.finding.find(expected.finding), std::string::npos) << verdict.finding;
    if (expected.note.empty()) {
        EXPECT_TRUE(verdict.notes.empty()) << verdict.notes.front();
    } else {
        ASSERT_EQ(verdict.notes.size(), 1u);
        EXPECT_NE(verdict.notes[0].find(expected.note), std::string::npos) << verdict.notes[0];
    }
}

struct FolderCase {
    const char* name;
    std::vector<PolicyFile> files;  // in name order
    PolicyLevel level;
    Expected expected;
};

void PrintTo(const FolderCase& folderCase, std::ostream* out) {
    *out << folderCase.name;
}

class PolicyFolder : public testing::TestWithParam<FolderCase> {};

TEST_P(PolicyFolder, IsReadAsChromiumReadsIt) {
    NativeMessagingPolicies policies;
    PolicyReader::AddFolder(GetParam().files, GetParam().level, "chromium", policies);
    Check(policies, GetParam().expected);
}

const auto M = PolicyLevel::Mandatory;

INSTANTIATE_TEST_SUITE_P(
    Rules, PolicyFolder,
    testing::Values(
        FolderCase{"LaterFileWins",
                   {{"/p/10.json", R"({"NativeMessagingBlocklist": ["*"]})"},
                    {"/p/20.json", R"({"NativeMessagingBlocklist": ["com.other"]})"}},
                   M,
                   {false, true, "NativeMessagingBlocklist in /p/20.json does not name", ""}},
        FolderCase{"LaterBadTypeHidesEarlierValue",
                   {{"/p/10.json", R"({"NativeMessagingBlocklist": ["*"]})"},
                    {"/p/20.json", R"({"NativeMessagingBlocklist": "*"})"}},
                   M,
                   {false, true, "no policy blocks", "/p/20.json is not a list: chromium ignores"}},
        FolderCase{
            "EarlierBadTypeIsReplaced",
            {{"/p/10.json", R"({"NativeMessagingBlocklist": "*"})"},
             {"/p/20.json", R"({"NativeMessagingBlocklist": ["*"]})"}},
            M,
            {true, true,
             "blocked by the administrator's NativeMessagingBlocklist (*) in /p/20.json", ""}},
        FolderCase{"InvalidFileIsSkippedWhole",
                   {{"/p/a.json", R"({"NativeMessagingBlocklist": [])"},
                    {"/p/b.json", R"({"NativeMessagingUserLevelHosts": false})"}},
                   M,
                   {false, false, "no policy blocks", "/p/a.json is not valid JSON"}},
        FolderCase{"FileOfAnArray",
                   {{"/p/a.json", R"([{"NativeMessagingBlocklist": ["*"]}])"}},
                   M,
                   {false, true, "no policy blocks", "/p/a.json does not hold a JSON object"}},
        FolderCase{"MarkCommentsAndTrailingCommas",
                   {{"/p/a", "\xEF\xBB\xBF// admin\n{\"NativeMessagingBlocklist\": [\"*\",],}"}},
                   M,
                   {true, true, "(*) in /p/a", ""}},
        FolderCase{"EntriesNotTextAreDropped",
                   {{"/p/a.json", R"({"NativeMessagingBlocklist": [7, "com.quenlow.host"]})"}},
                   M,
                   {true, true, "NativeMessagingBlocklist (com.quenlow.host) in /p/a.json",
                    "holds entries that are not text (1)"}},
        FolderCase{"AllowlistLiftsABlockByName",
                   {{"/p/a.json", R"({"NativeMessagingBlocklist": ["com.quenlow.host"],
                                      "NativeMessagingAllowlist": ["com.quenlow.host"]})"}},
                   M,
                   {false, true,
                    "NativeMessagingAllowlist in /p/a.json lets com.quenlow.host through "
                    "NativeMessagingBlocklist (com.quenlow.host)",
                    ""}},
        FolderCase{"AllowlistWildcardIsNone",
                   {{"/p/a.json", R"({"NativeMessagingBlocklist": ["*"],
                                      "NativeMessagingAllowlist": ["*"]})"}},
                   M,
                   {true, true, "blocked", "is no wildcard"}},
        FolderCase{"SwitchMustBeTrueOrFalse",
                   {{"/p/a.json", R"({"NativeMessagingUserLevelHosts": 0})"}},
                   M,
                   {false, true, "no policy blocks", "is not true or false: chromium ignores"}},
        FolderCase{"RecommendedIsIgnored",
                   {{"/r/a.json", R"({"NativeMessagingBlocklist": ["*"]})"}},
                   PolicyLevel::Recommended,
                   {false, true, "no policy blocks", "/r/a.json is only recommended"}}),
    [](const testing::TestParamInfo<FolderCase>& info) { return std::string(info.param.name); });

RegistryValue Text(const std::string& name, const std::string& text) {
    return RegistryValue{name, RegistryValue::Type::String, text, 0};
}

RegistryValue Dword(const std::string& name, std::uint32_t number) {
    return RegistryValue{name, RegistryValue::Type::Dword, "", number};
}

struct KeyCase {
    const char* name;
    std::vector<PolicyKey> keys;  // the winning key first
    Expected expected;
};

void PrintTo(const KeyCase& keyCase, std::ostream* out) {
    *out << keyCase.name;
}

class PolicyKeys : public testing::TestWithParam<KeyCase> {};

TEST_P(PolicyKeys, AreReadAsChromiumReadsThem) {
    NativeMessagingPolicies policies;
    for (const PolicyKey& key : GetParam().keys) {
        PolicyReader::AddKey(key, PolicyLevel::Mandatory, "edge", policies);
    }
    Check(policies, GetParam().expected);
}

const std::string kEdgeKey = Browsers::Facts(Browser::Edge).windowsPolicyKey;
const std::string kMachine = "HKLM\\" + kEdgeKey;
const std::string kUser = "HKCU\\" + kEdgeKey;

INSTANTIATE_TEST_SUITE_P(
    Rules, PolicyKeys,
    testing::Values(
        KeyCase{"ListAsNumberedValues",
                {{kMachine, {}, {{"NativeMessagingBlocklist", {Dword("1", 5), Text("2", "*")}}}}},
                {true, true, "(*) in " + kMachine + "\\NativeMessagingBlocklist",
                 "holds entries that are not text (1)"}},
        KeyCase{"ListAsJsonText",
                {{kMachine, {Text("NativeMessagingBlocklist", R"(["*"])")}, {}}},
                {true, true, "(*) in " + kMachine, ""}},
        KeyCase{"ListAsPlainText",
                {{kMachine, {Text("NativeMessagingBlocklist", "*")}, {}}},
                {false, true, "no policy blocks", "is not a list: edge ignores it"}},
        KeyCase{"SwitchAsDword",
                {{kUser, {Dword("NativeMessagingUserLevelHosts", 0)}, {}}},
                {false, false, "", ""}},
        KeyCase{"SwitchAsNumberText",
                {{kUser, {Text("NativeMessagingUserLevelHosts", "0")}, {}}},
                {false, false, "", ""}},
        KeyCase{"SwitchAsWord",
                {{kUser, {Text("NativeMessagingUserLevelHosts", "false")}, {}}},
                {false, true, "", "is not true or false: edge ignores it"}},
        KeyCase{"MachineWinsOverUser",
                {{kMachine, {}, {{"NativeMessagingBlocklist", {Text("1", "com.other")}}}},
                 {kUser, {}, {{"NativeMessagingBlocklist", {Text("1", "*")}}}}},
                {false, true, "NativeMessagingBlocklist in " + kMachine, ""}},
        KeyCase{"UserFillsInWhatTheMachineGetsWrong",
                {{kMachine, {Dword("NativeMessagingBlocklist", 1)}, {}},
                 {kUser, {}, {{"NativeMessagingBlocklist", {Text("1", "*")}}}}},
                {true, true, "(*) in " + kUser, "in " + kMachine + " is not a list"}}),
    [](const testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace browser_extensions::registration
