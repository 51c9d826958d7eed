// The commands on a machine in memory: what install, uninstall, list and doctor do with folders
// (as on Linux) and with the registry (as on Windows), and what they print.
#include <gtest/gtest.h>

#include <boost/json.hpp>

#include <functional>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "FakeSystemServices.h"
#include "Files.h"
#include "Places.h"
#include "Tool.h"

namespace browser_extensions::registration {
namespace {

using Platform = FakeSystemServices::Platform;
using Args = std::vector<std::string>;

const std::string kName = "com.quenlow.test";
const std::string kIdA = "abcdefghijklmnopabcdefghijklmnop";
const std::string kIdB = "ponmlkjihgfedcbaponmlkjihgfedcba";
const std::string kOriginA = "chrome-extension://" + kIdA + "/";
const std::string kFirefoxId = "quenlow@example.org";
const std::string kNotFound = "\"Specified native messaging host not found.\"";
const std::string kForbidden = "\"Access to the specified native messaging host is forbidden.\"";
const std::string kFailedToStart = "\"Failed to start native messaging host.\"";
const std::string kExited = "\"Native host has exited.\"";
const std::string kBlocked =
    "\"Access to the native messaging host was disabled by the system administrator.\"";

// Linux folders are absolute only where "/" is: not on the Windows build.
bool FoldersExpressible() {
    return Files::IsAbsolute("/");
}

std::string Base() {
    return Files::Absolute("fake-machine");
}

// A machine with a host that can be started (on Windows with the libraries it loads beside it),
// and the results of the last command.
struct Machine {
    explicit Machine(Platform platform) : services(platform) {
        services.home = "/home/user";
        services.toolFolder = Files::Join(Base(), "tools");
        const std::string apps = Files::Join(Base(), "apps");
        host = Files::Join(apps, Registry() ? "Quenlow.exe" : "Quenlow");
        services.files[host] = "program";
        services.programs.insert(host);
        if (Registry()) {
            for (const char* library : {"Varnhold64.dll", "Halvern.dll"}) {
                services.files[Files::Join(apps, library)] = "library";
            }
        }
        ownFiles = services.files.size();
    }

    int Run(Args arguments) {
        std::ostringstream o;
        std::ostringstream e;
        status = Tool::Run(arguments, services, o, e);
        out = o.str();
        err = e.str();
        return status;
    }

    // A command on this host: the name and the host path follow the command word.
    int Command(const std::string& command, Args more = {}) {
        Args arguments{command, "--name", kName};
        if (command == "install") {
            arguments.insert(arguments.end(), {"--host-path", host});
        }
        arguments.insert(arguments.end(), more.begin(), more.end());
        return Run(arguments);
    }

    bool Registry() const { return services.UsesRegistry(); }

    // Where the browser finds this host's manifest: the file in its folder, or the file the key
    // names.
    std::string ManifestOf(Browser browser, Scope scope = Scope::User) const {
        if (Registry()) {
            const bool chromium = Browsers::IsChromiumFamily(browser);
            return Files::Join(Files::FolderOf(host),
                               kName + (chromium ? ".json" : ".firefox.json"));
        }
        const BrowserFacts& facts = Browsers::Facts(browser);
        const std::string folder = scope == Scope::User
                                       ? services.home + "/" + facts.linuxUserFolder
                                       : Places::Split(facts.linuxSystemFolders).front();
        return Files::Join(folder, kName + ".json");
    }

    // The registry key install writes for this host: the browser's first, in the 64-bit view.
    std::string KeyOf(Browser browser, Scope scope) const {
        const std::string hive = scope == Scope::User ? "HKCU\\" : "HKLM\\";
        return hive + Places::Split(Browsers::Facts(browser).windowsManifestKeys).front() + "\\" +
               kName;
    }

    boost::json::object Manifest(Browser browser, Scope scope = Scope::User) {
        return boost::json::parse(services.files.at(ManifestOf(browser, scope))).as_object();
    }

    void Rewrite(Browser browser, const std::function<void(boost::json::object&)>& change) {
        boost::json::object manifest = Manifest(browser);
        change(manifest);
        services.files[ManifestOf(browser)] = boost::json::serialize(manifest);
    }

    FakeSystemServices services;
    std::string host;
    std::size_t ownFiles = 0;  // the host and its libraries
    int status = -1;
    std::string out;
    std::string err;
};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

Args IdsFor(Browser browser) {
    return Browsers::IsChromiumFamily(browser)
               ? Args{"--extension-id", kIdA, "--extension-id", kIdB}
               : Args{"--firefox-extension", kFirefoxId};
}

std::string PlatformName(Platform platform) {
    return platform == Platform::Registry ? "Registry" : "Folders";
}

#define SKIP_UNLESS_EXPRESSIBLE(platform)                                     \
    if ((platform) == Platform::Folders && !FoldersExpressible()) {           \
        GTEST_SKIP() << "Linux folders are not absolute paths on this build"; \
    }

// Every browser in both scopes: install writes the manifest where the browser reads it, list and
// doctor find it, uninstall takes it all away again.
using Registration = std::tuple<Platform, Browser, Scope>;
class EveryBrowser : public testing::TestWithParam<Registration> {};

TEST_P(EveryBrowser, InstallListDoctorUninstall) {
    const auto [platform, browser, scope] = GetParam();
    SKIP_UNLESS_EXPRESSIBLE(platform);
    Machine machine(platform);
    const std::string name = Browsers::Name(browser);
    const std::string scopeName = Browsers::ScopeName(scope);
    Args install = IdsFor(browser);
    install.insert(install.end(),
                   {"--browser", name, "--" + scopeName, "--description", "a \"quoted\" host"});
    ASSERT_EQ(machine.Command("install", install), 0) << machine.err;

    const std::string manifest = machine.ManifestOf(browser, scope);
    EXPECT_EQ(machine.services.files.size(), machine.ownFiles + 1);  // and the manifest
    boost::json::object expected{{"name", kName},
                                 {"description", "a \"quoted\" host"},
                                 {"path", machine.host},
                                 {"type", "stdio"}};
    if (Browsers::IsChromiumFamily(browser)) {
        expected["allowed_origins"] = {kOriginA, "chrome-extension://" + kIdB + "/"};
    } else {
        expected["allowed_extensions"] = {kFirefoxId};
    }
    EXPECT_EQ(machine.Manifest(browser, scope), expected);
    if (machine.Registry()) {
        EXPECT_EQ(machine.services.ReadKey(machine.KeyOf(browser, scope)).defaultValue, manifest);
        EXPECT_EQ(machine.services.keys.size(), 1u);
    }

    ASSERT_EQ(machine.Command("list", {"--browser", name, "--" + scopeName}), 0);
    EXPECT_TRUE(Has(machine.out, name + " (" + scopeName + ") " + kName)) << machine.out;
    EXPECT_TRUE(Has(machine.out, "  manifest  " + manifest)) << machine.out;
    EXPECT_TRUE(Has(machine.out, "  host      " + machine.host)) << machine.out;
    EXPECT_EQ(machine.Command("doctor", {"--browser", name}), 0) << machine.out;

    ASSERT_EQ(machine.Command("uninstall", {"--browser", name, "--" + scopeName}), 0);
    EXPECT_EQ(machine.services.files.size(), machine.ownFiles);
    EXPECT_TRUE(machine.services.keys.empty());
}

INSTANTIATE_TEST_SUITE_P(Both, EveryBrowser,
                         testing::Combine(testing::Values(Platform::Folders, Platform::Registry),
                                          testing::ValuesIn(Browsers::All()),
                                          testing::Values(Scope::User, Scope::System)),
                         [](const testing::TestParamInfo<Registration>& info) {
                             return PlatformName(std::get<0>(info.param)) +
                                    Browsers::Name(std::get<1>(info.param)) +
                                    Browsers::ScopeName(std::get<2>(info.param));
                         });

// Command lines that are refused before anything is written.
struct UsageCase {
    const char* name;
    Args arguments;
    std::string message;
    std::vector<Platform> platforms = {Platform::Folders, Platform::Registry};
};

void PrintTo(const UsageCase& usage, std::ostream* out) {
    *out << usage.name;
}

class UsageErrors : public testing::TestWithParam<UsageCase> {};

TEST_P(UsageErrors, ExitTwoWithAMessageAndWriteNothing) {
    for (Platform platform : GetParam().platforms) {
        SCOPED_TRACE(PlatformName(platform));
        Machine machine(platform);
        const auto before = machine.services.files;
        EXPECT_EQ(machine.Run(GetParam().arguments), 2) << machine.out;
        EXPECT_TRUE(Has(machine.err, GetParam().message)) << machine.err;
        EXPECT_EQ(machine.services.files, before);
        EXPECT_TRUE(machine.services.keys.empty());
    }
}

Args InstallWith(const std::string& option, const std::string& value) {
    return {"install", "--browser", "chrome", option, value, "--extension-id", kIdA};
}

INSTANTIATE_TEST_SUITE_P(
    Refused, UsageErrors,
    testing::Values(
        UsageCase{"NoCommand", {}, "no command"},
        UsageCase{"UnknownCommand", {"register"}, "unknown command"},
        UsageCase{"UnknownOption", {"install", "--bogus"}, "unknown option"},
        UsageCase{"MissingValue", {"install", "--name"}, "needs a value"},
        UsageCase{"BothScopes",
                  {"install", "--user", "--system", "--extension-id", kIdA},
                  "exclude each other"},
        UsageCase{"UnknownBrowser",
                  {"install", "--browser", "opera", "--extension-id", kIdA},
                  "unknown browser"},
        UsageCase{"NoIds", {"install"}, "--extension-id ID and/or --firefox-extension"},
        UsageCase{"FirefoxWithoutAddOn",
                  {"install", "--browser", "firefox", "--extension-id", kIdA},
                  "firefox needs"},
        UsageCase{"EdgeWithoutId",
                  {"install", "--browser", "edge", "--firefox-extension", kFirefoxId},
                  "edge needs"},
        UsageCase{"UpperCaseId",
                  {"install", "--extension-id", "ABCDEFGHIJKLMNOPABCDEFGHIJKLMNOP"},
                  "invalid extension id"},
        UsageCase{"ShortId", {"install", "--extension-id", kIdA.substr(1)}, "invalid extension id"},
        UsageCase{"IdBeyondP",
                  {"install", "--extension-id", std::string(32, 'q')},
                  "invalid extension id"},
        UsageCase{"AddOnWithoutAt",
                  {"install", "--firefox-extension", "no-at-sign"},
                  "invalid Firefox add-on id"},
        UsageCase{"AddOnNotUuid",
                  {"install", "--firefox-extension", "{not-a-uuid}"},
                  "invalid Firefox add-on id"},
        UsageCase{"RelativeHostPath", InstallWith("--host-path", "relative/Quenlow"),
                  "must be absolute"},
        UsageCase{"ProfileForFirefox",
                  {"install", "--profile-dir", "/p", "--browser", "firefox"},
                  "--profile-dir"},
        UsageCase{"ManifestDirOnLinux",
                  {"list", "--manifest-dir", "/x"},
                  "--manifest-dir",
                  {Platform::Folders}},
        UsageCase{"RootOnWindows", {"list", "--root", "/x"}, "--root", {Platform::Registry}},
        UsageCase{"EmptyName", InstallWith("--name", ""), "invalid host name"},
        UsageCase{"NameStartsWithDot", InstallWith("--name", ".a"), "invalid host name"},
        UsageCase{"NameEndsWithDot", InstallWith("--name", "a."), "invalid host name"},
        UsageCase{"TwoDots", InstallWith("--name", "a..b"), "invalid host name"},
        UsageCase{"UpperCaseName", InstallWith("--name", "Com.quenlow"), "invalid host name"},
        UsageCase{"Hyphen", InstallWith("--name", "a-b"), "invalid host name"},
        UsageCase{"Space", InstallWith("--name", "a b"), "invalid host name"},
        UsageCase{"Slash", InstallWith("--name", "a/b"), "invalid host name"},
        UsageCase{"NotAscii", InstallWith("--name", "\xC3\xA4"), "invalid host name"},
        UsageCase{"TrailingDot", InstallWith("--name", "a.b."), "invalid host name"}),
    [](const testing::TestParamInfo<UsageCase>& info) { return std::string(info.param.name); });

// Names and ids of every accepted form go through install and doctor.
struct AcceptedCase {
    const char* name;
    Args arguments;  // after "install"/"doctor"
};

class Accepted : public testing::TestWithParam<AcceptedCase> {};

TEST_P(Accepted, InstallsAndPassesTheDoctor) {
    for (Platform platform : {Platform::Folders, Platform::Registry}) {
        SKIP_UNLESS_EXPRESSIBLE(platform);
        Machine machine(platform);
        Args install{"install", "--host-path", machine.host};
        install.insert(install.end(), GetParam().arguments.begin(), GetParam().arguments.end());
        ASSERT_EQ(machine.Run(install), 0) << machine.err;
        Args doctor{"doctor"};
        doctor.insert(doctor.end(), GetParam().arguments.begin(), GetParam().arguments.end());
        EXPECT_EQ(machine.Run(doctor), 0) << machine.out;
    }
}

Args Named(const std::string& name) {
    return {"--name", name, "--browser", "chrome", "--extension-id", kIdA};
}

Args AddOn(const std::string& id) {
    return {"--name", kName, "--browser", "firefox", "--firefox-extension", id};
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Accepted,
    testing::Values(AcceptedCase{"OneLetter", Named("a")}, AcceptedCase{"Dotted", Named("a.b")},
                    AcceptedCase{"Digits", Named("com.quenlow_2.host")},
                    AcceptedCase{"Underscore", Named("_")},
                    AcceptedCase{"ShortAddOn", AddOn("a@b")},
                    AcceptedCase{"EmailAddOn", AddOn("quenlow@example.org")},
                    AcceptedCase{"SubdomainAddOn", AddOn("x_y-z.1@sub.example")},
                    AcceptedCase{"UuidAddOn", AddOn("{12345678-9abc-DEF0-1234-56789abcdef0}")}),
    [](const testing::TestParamInfo<AcceptedCase>& info) { return std::string(info.param.name); });

// Descriptions are written as JSON strings, whatever they hold.
class Description : public testing::TestWithParam<std::string> {};

TEST_P(Description, RoundTrips) {
    Machine machine(FoldersExpressible() ? Platform::Folders : Platform::Registry);
    ASSERT_EQ(machine.Command("install", {"--browser", "chrome", "--extension-id", kIdA,
                                          "--description", GetParam()}),
              0);
    EXPECT_EQ(machine.Manifest(Browser::Chrome)["description"], GetParam().c_str());
}

INSTANTIATE_TEST_SUITE_P(Texts, Description,
                         testing::Values("quote \" and backslash \\", "tab\tand line\nfeed",
                                         "\xC3\xA9t\xC3\xA9 \xE6\xBC\xA2 \xF0\x9F\x98\x80", ""));

// A registration broken in one way: doctor names that break and what the browser tells the
// extension.
struct Break {
    const char* name;
    std::function<void(Machine&)> breaks;
    std::string problem;  // part of the one FAIL line
    std::string message;
    std::vector<Platform> platforms = {Platform::Folders, Platform::Registry};
};

void PrintTo(const Break& broken, std::ostream* out) {
    *out << broken.name;
}

class DoctorBreaks : public testing::TestWithParam<Break> {};

TEST_P(DoctorBreaks, NameTheBreakAndTheBrowsersMessage) {
    for (Platform platform : GetParam().platforms) {
        SKIP_UNLESS_EXPRESSIBLE(platform);
        SCOPED_TRACE(PlatformName(platform));
        Machine machine(platform);
        const Args edge{"--browser", "edge", "--extension-id", kIdA};
        ASSERT_EQ(machine.Command("install", edge), 0) << machine.err;
        ASSERT_EQ(machine.Command("doctor", edge), 0) << machine.out;
        ASSERT_TRUE(Has(machine.out, "edge can start the host"));

        GetParam().breaks(machine);
        EXPECT_EQ(machine.Command("doctor", edge), 1);
        std::vector<std::string> fails;
        std::istringstream lines(machine.out);
        for (std::string line; std::getline(lines, line);) {
            if (Has(line, "FAIL")) {
                fails.push_back(line);
            }
        }
        ASSERT_EQ(fails.size(), 1u) << machine.out;
        EXPECT_TRUE(Has(fails[0], GetParam().problem)) << machine.out;
        EXPECT_TRUE(Has(machine.out, "edge tells the extension: " + GetParam().message))
            << machine.out;
        EXPECT_TRUE(Has(machine.out, "fix: ") && !Has(machine.out, "can start the host"));
    }
}

std::function<void(Machine&)> Changing(const char* key, boost::json::value value) {
    return [key, value](Machine& m) { m.Rewrite(Browser::Edge, [&](auto& j) { j[key] = value; }); };
}

std::function<void(Machine&)> Dropping(const char* key) {
    return [key](Machine& m) { m.Rewrite(Browser::Edge, [&](auto& j) { j.erase(key); }); };
}

std::function<void(Machine&)> Writing(const char* text) {
    return [text](Machine& m) { m.services.files[m.ManifestOf(Browser::Edge)] = text; };
}

const std::vector<Platform> kFolders{Platform::Folders};
const std::vector<Platform> kRegistry{Platform::Registry};

INSTANTIATE_TEST_SUITE_P(
    Chain, DoctorBreaks,
    testing::Values(
        Break{"NoRegistration",
              [](Machine& m) { m.services.files.erase(m.ManifestOf(Browser::Edge)); },
              "no registration found", kNotFound, kFolders},
        Break{"ManifestGone",
              [](Machine& m) { m.services.files.erase(m.ManifestOf(Browser::Edge)); },
              "does not exist", kNotFound, kRegistry},
        Break{"NoValue",
              [](Machine& m) { m.services.keys[m.KeyOf(Browser::Edge, Scope::User)].value = ""; },
              "no default value", kNotFound, kRegistry},
        Break{"NotJson", Writing("{not json"), "not valid JSON", kNotFound},
        Break{"NotAnObject", Writing("[]"), "not an object", kNotFound},
        Break{"NoOrigins", Dropping("allowed_origins"), "\"allowed_origins\"", kNotFound},
        Break{"NoDescription", Dropping("description"), "\"description\"", kNotFound},
        Break{"PathNotAString", Changing("path", 5), "\"path\"", kNotFound},
        Break{"WildcardOrigin", Changing("allowed_origins", {"chrome-extension://*/"}),
              "not of the form", kNotFound},
        Break{"OtherName", Changing("name", "com.other"), "\"name\" is \"com.other\"", kNotFound},
        Break{"WrongType", Changing("type", "pipe"), "\"type\" is \"pipe\"", kNotFound},
        Break{"RelativePath", Changing("path", "Quenlow"), "not absolute", kNotFound, kFolders},
        Break{"HostMissing", [](Machine& m) { m.services.files.erase(m.host); }, "does not exist",
              kNotFound},
        Break{"HostNotExecutable", [](Machine& m) { m.services.programs.clear(); },
              "cannot be started", kExited, kFolders},
        Break{"HostNotExecutableOnWindows", [](Machine& m) { m.services.programs.clear(); },
              "cannot be started", kFailedToStart, kRegistry},
        Break{"NotAProgram",
              [](Machine& m) {
                  Changing("path", boost::json::string(m.ManifestOf(Browser::Edge)))(m);
              },
              "cannot be started", kFailedToStart, kRegistry},
        Break{"ImportedLibraryMissing",
              [](Machine& m) {
                  m.services.files.erase(Files::Join(Files::FolderOf(m.host), "Varnhold64.dll"));
              },
              "Varnhold64.dll is not beside the host", "\"Native host has exited.\"", kRegistry},
        Break{"OriginNotAllowed", Changing("allowed_origins", {"chrome-extension://" + kIdB + "/"}),
              kOriginA + " is not in", kForbidden}),
    [](const testing::TestParamInfo<Break>& info) { return std::string(info.param.name); });

// The first key each browser of the table reads.
std::string FirstKey(Browser browser) {
    return Places::Split(Browsers::Facts(browser).windowsManifestKeys).front();
}
const std::string kChromeKey = FirstKey(Browser::Chrome);
const std::string kChromiumKey = FirstKey(Browser::Chromium);
const std::string kEdgeKey = FirstKey(Browser::Edge);
const std::string kMozillaKey = FirstKey(Browser::Firefox);
const std::string kView32 = "Software\\WOW6432Node\\";

std::string ThirtyTwoBit(const std::string& key) {
    return kView32 + key.substr(std::string("Software\\").size());
}

// Registrations of one host name in the registry, and what each browser makes of them: the
// place it takes (searching HKCU, then HKLM's 32-bit view, then its 64-bit view, each for its keys
// in order) and whether it can start the host. "ours" names the host's manifest, "old" a manifest
// left by an earlier install that no longer exists.
struct RegistryWalk {
    const char* name;
    std::vector<std::pair<std::string, std::string>> registrations;  // key (no host name), whose
    std::vector<std::tuple<Browser, std::string, bool>> verdicts;    // browser, key taken, healthy
};

void PrintTo(const RegistryWalk& walk, std::ostream* out) {
    *out << walk.name;
}

class RegistryWalks : public testing::TestWithParam<RegistryWalk> {};

TEST_P(RegistryWalks, EachBrowserTakesTheFirstKeyItReads) {
    Machine machine(Platform::Registry);
    const std::string folder = Files::FolderOf(machine.host);
    ASSERT_EQ(
        machine.Command("install", {"--browser", "chrome", "--browser", "firefox", "--extension-id",
                                    kIdA, "--firefox-extension", kFirefoxId}),
        0);
    machine.services.keys.clear();
    for (const auto& [key, whose] : GetParam().registrations) {
        const bool firefox = Has(key, kMozillaKey.substr(kMozillaKey.find('\\')));
        const std::string manifest = kName + (firefox ? ".firefox.json" : ".json");
        machine.services.keys[key + "\\" + kName].value =
            Files::Join(whose == "ours" ? folder : Files::Join(Base(), "old"), manifest);
    }
    for (const auto& [browser, taken, healthy] : GetParam().verdicts) {
        SCOPED_TRACE(Browsers::Name(browser));
        const int status = machine.Command("doctor", {"--browser", Browsers::Name(browser)});
        EXPECT_EQ(status, healthy ? 0 : 1) << machine.out;
        if (taken.empty()) {
            EXPECT_TRUE(Has(machine.out, "no registration found")) << machine.out;
        } else {
            EXPECT_TRUE(Has(machine.out, "ok    registry key " + taken + "\\" + kName))
                << machine.out;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Registry, RegistryWalks,
    testing::Values(
        RegistryWalk{"ChromesKeyServesTheChromiumFamily",
                     {{"HKLM\\" + kChromeKey, "ours"}},
                     {{Browser::Chrome, "HKLM\\" + kChromeKey, true},
                      {Browser::Chromium, "HKLM\\" + kChromeKey, true},
                      {Browser::Edge, "HKLM\\" + kChromeKey, true},
                      {Browser::Brave, "HKLM\\" + kChromeKey, true},
                      {Browser::Firefox, "", false}}},
        RegistryWalk{
            "ALeftoverInThe32BitViewWins",
            {{"HKLM\\" + ThirtyTwoBit(kChromeKey), "old"}, {"HKLM\\" + kChromeKey, "ours"}},
            {{Browser::Chrome, "HKLM\\" + ThirtyTwoBit(kChromeKey), false},
             {Browser::Edge, "HKLM\\" + ThirtyTwoBit(kChromeKey), false}}},
        RegistryWalk{
            "The32BitViewBeforeAnEarlierKeyIn64",
            {{"HKLM\\" + kChromiumKey, "ours"}, {"HKLM\\" + ThirtyTwoBit(kChromeKey), "old"}},
            {{Browser::Chromium, "HKLM\\" + ThirtyTwoBit(kChromeKey), false},
             {Browser::Chrome, "HKLM\\" + ThirtyTwoBit(kChromeKey), false}}},
        RegistryWalk{"ChromiumsKeyComesBeforeChromes",
                     {{"HKCU\\" + kChromiumKey, "old"}, {"HKCU\\" + kChromeKey, "ours"}},
                     {{Browser::Chrome, "HKCU\\" + kChromeKey, true},
                      {Browser::Chromium, "HKCU\\" + kChromiumKey, false},
                      {Browser::Brave, "HKCU\\" + kChromiumKey, false},
                      {Browser::Vivaldi, "HKCU\\" + kChromiumKey, false},
                      {Browser::Edge, "HKCU\\" + kChromiumKey, false}}},
        RegistryWalk{"EdgesOwnKeyFirst",
                     {{"HKCU\\" + kEdgeKey, "ours"}, {"HKCU\\" + kChromeKey, "ours"}},
                     {{Browser::Edge, "HKCU\\" + kEdgeKey, true},
                      {Browser::Chrome, "HKCU\\" + kChromeKey, true}}},
        RegistryWalk{"TheUserBeforeTheMachine",
                     {{"HKLM\\" + ThirtyTwoBit(kEdgeKey), "ours"}, {"HKCU\\" + kChromeKey, "old"}},
                     {{Browser::Edge, "HKCU\\" + kChromeKey, false}}},
        RegistryWalk{
            "FirefoxTakesTheFirstValueFound",
            {{"HKLM\\" + ThirtyTwoBit(kMozillaKey), "old"}, {"HKLM\\" + kMozillaKey, "ours"}},
            {{Browser::Firefox, "HKLM\\" + ThirtyTwoBit(kMozillaKey), false},
             {Browser::Chrome, "", false}}},
        RegistryWalk{
            "BraveReadsNoKeyOfItsOwn",
            {{"HKCU\\Software\\BraveSoftware\\Brave-Browser\\NativeMessagingHosts", "ours"}},
            {{Browser::Brave, "", false}}}),
    [](const testing::TestParamInfo<RegistryWalk>& info) { return std::string(info.param.name); });

// install names a registration the browser reads before the new one; uninstall leaves it.
TEST(RegistryShadow, InstallWarnsAndUninstallRemovesOnlyItsOwn) {
    Machine machine(Platform::Registry);
    const std::string leftover = "HKLM\\" + ThirtyTwoBit(kChromeKey) + "\\" + kName;
    machine.services.keys[leftover].value = Files::Join(Base(), "old.json");
    ASSERT_EQ(
        machine.Command("install", {"--system", "--browser", "chrome", "--extension-id", kIdA}), 0);
    EXPECT_TRUE(Has(machine.err, "warning: chrome reads " + leftover + " (system) first") &&
                Has(machine.err, "reg delete \"" + leftover + "\" /f"))
        << machine.err;
    ASSERT_EQ(machine.Command("uninstall", {"--system", "--browser", "chrome"}), 0);
    EXPECT_TRUE(Has(machine.out, "note: chrome reads " + leftover)) << machine.out;
    EXPECT_EQ(machine.services.keys.size(), 1u);
    EXPECT_EQ(machine.services.keys.count(leftover), 1u);
}

class Scenario : public testing::TestWithParam<Platform> {
  protected:
    void SetUp() override { SKIP_UNLESS_EXPRESSIBLE(GetParam()); }
    Machine machine{GetParam()};
};

TEST_P(Scenario, InstallWithoutBrowsersFollowsTheIdsGiven) {
    ASSERT_EQ(machine.Command("install", {"--extension-id", kIdA}), 0) << machine.err;
    for (Browser browser : Browsers::All()) {
        EXPECT_EQ(machine.services.files.count(machine.ManifestOf(browser)),
                  Browsers::IsChromiumFamily(browser) ? 1u : 0u)
            << Browsers::Name(browser);
    }
}

TEST_P(Scenario, UninstallRemovesOnlyWhatWasAsked) {
    ASSERT_EQ(machine.Command("install", {"--browser", "all", "--extension-id", kIdA,
                                          "--firefox-extension", kFirefoxId}),
              0);
    ASSERT_EQ(machine.Command("uninstall", {"--browser", "edge"}), 0) << machine.err;
    for (Browser browser : Browsers::All()) {
        const bool kept =
            machine.Registry()
                ? machine.services.ReadKey(machine.KeyOf(browser, Scope::User)).keyExists
                : machine.services.files.count(machine.ManifestOf(browser)) == 1;
        EXPECT_EQ(kept, browser != Browser::Edge) << Browsers::Name(browser);
    }
    EXPECT_EQ(machine.Command("uninstall", {"--browser", "edge"}), 0);
    EXPECT_TRUE(Has(machine.out, "not registered")) << machine.out;
}

TEST_P(Scenario, ListShowsBrowserScopeManifestHostAndOrigins) {
    ASSERT_EQ(machine.Command("install", {"--browser", "chrome", "--extension-id", kIdA}), 0);
    ASSERT_EQ(machine.Command("install", {"--browser", "firefox", "--system", "--firefox-extension",
                                          kFirefoxId}),
              0);
    ASSERT_EQ(machine.Command("list"), 0);
    EXPECT_TRUE(Has(machine.out, "chrome (user) " + kName));
    EXPECT_TRUE(Has(machine.out, "firefox (system) " + kName));
    EXPECT_TRUE(Has(machine.out, machine.ManifestOf(Browser::Chrome)));
    EXPECT_TRUE(Has(machine.out, machine.ManifestOf(Browser::Firefox, Scope::System)));
    EXPECT_TRUE(Has(machine.out, kOriginA) && Has(machine.out, kFirefoxId));
    EXPECT_FALSE(Has(machine.out, "edge")) << machine.out;
}

TEST_P(Scenario, ReinstallReplacesTheManifestWhole) {
    ASSERT_EQ(machine.Command("install", {"--browser", "chrome", "--extension-id", kIdA,
                                          "--extension-id", kIdB}),
              0);
    ASSERT_EQ(machine.Command("install", {"--browser", "chrome", "--extension-id", kIdB}), 0);
    EXPECT_EQ(machine.Manifest(Browser::Chrome)["allowed_origins"],
              boost::json::array({"chrome-extension://" + kIdB + "/"}));
}

TEST_P(Scenario, DoctorWithoutAnyRegistrationFails) {
    EXPECT_EQ(machine.Command("doctor"), 1);
    EXPECT_TRUE(Has(machine.out, "not registered for any browser") && Has(machine.out, kNotFound));
}

TEST_P(Scenario, DoctorChecksFirefoxAddOns) {
    ASSERT_EQ(
        machine.Command("install", {"--browser", "firefox", "--firefox-extension", kFirefoxId}), 0);
    EXPECT_EQ(machine.Command("doctor", {"--firefox-extension", kFirefoxId}), 0) << machine.out;
    EXPECT_TRUE(Has(machine.out, "firefox can start the host"));
    machine.Rewrite(Browser::Firefox,
                    [](auto& j) { j["allowed_extensions"] = {"other@example.org"}; });
    EXPECT_EQ(machine.Command("doctor", {"--firefox-extension", kFirefoxId}), 1);
    EXPECT_TRUE(Has(machine.out, "\"No such native application " + kName + "\"")) << machine.out;
}

// The test extension's ids are public: the browser starts the host for whoever takes them.
TEST_P(Scenario, DoctorFailsOnTheTestExtensionAndWalksOn) {
    const std::string chromium = "pomimbpcalbekffomoadbjblidiebnnj";
    const std::string firefox = "quenlow-test@quenlow.example";
    ASSERT_EQ(
        machine.Command("install", {"--browser", "chrome", "--browser", "firefox", "--extension-id",
                                    chromium, "--firefox-extension", firefox}),
        0)
        << machine.err;
    EXPECT_EQ(
        machine.Command("doctor", {"--browser", "chrome", "--browser", "firefox", "--extension-id",
                                   chromium, "--firefox-extension", firefox}),
        1);
    for (const std::string& admitted : {"chrome-extension://" + chromium + "/", firefox}) {
        EXPECT_TRUE(Has(machine.out, "FAIL  the manifest admits " + admitted +
                                         ", Quenlow's test extension: its id is public"))
            << machine.out;
    }
    EXPECT_TRUE(Has(machine.out, "chrome can start the host") &&
                Has(machine.out, "firefox can start the host"))
        << machine.out;
}

INSTANTIATE_TEST_SUITE_P(Both, Scenario, testing::Values(Platform::Folders, Platform::Registry),
                         [](const testing::TestParamInfo<Platform>& info) {
                             return PlatformName(info.param);
                         });

class Folders : public testing::Test {
  protected:
    void SetUp() override { SKIP_UNLESS_EXPRESSIBLE(Platform::Folders); }
    Machine machine{Platform::Folders};
};

TEST_F(Folders, AManifestThatCannotBeWrittenIsAFailure) {
    const std::string blocked =
        Places::Split(Browsers::Facts(Browser::Edge).linuxSystemFolders).front();
    machine.services.files[blocked] = "a file where the folder belongs";
    EXPECT_EQ(machine.Command("install", {"--system", "--browser", "edge", "--browser", "chrome",
                                          "--extension-id", kIdA}),
              1);
    EXPECT_TRUE(Has(machine.err, "edge (system)")) << machine.err;
    EXPECT_EQ(machine.services.files.count(machine.ManifestOf(Browser::Chrome, Scope::System)), 1u);
}

TEST_F(Folders, DoctorFollowsTheUserEntryBeforeTheSystemOne) {
    ASSERT_EQ(
        machine.Command("install", {"--browser", "chromium", "--system", "--extension-id", kIdA}),
        0);
    EXPECT_EQ(machine.Command("doctor"), 0) << machine.out;
    ASSERT_EQ(machine.Command("install", {"--browser", "chromium", "--extension-id", kIdA}), 0);
    machine.services.files[machine.ManifestOf(Browser::Chromium)] = "oops";
    EXPECT_EQ(machine.Command("doctor"), 1);
    EXPECT_TRUE(Has(machine.out, "not valid JSON") && Has(machine.out, "is never read") &&
                Has(machine.out, "(system)"))
        << machine.out;
}

// The Chromium family keeps its user data under $CHROME_CONFIG_HOME or $XDG_CONFIG_HOME; Firefox
// stays in the home folder.
TEST_F(Folders, TheConfigFolderMovesTheChromiumFamilysUserFolder) {
    machine.services.configHome = "/cfg";
    ASSERT_EQ(
        machine.Command("install", {"--browser", "chrome", "--browser", "firefox", "--extension-id",
                                    kIdA, "--firefox-extension", kFirefoxId}),
        0);
    const std::string relative = Browsers::Facts(Browser::Chrome).linuxUserFolder;
    EXPECT_EQ(machine.services.files.count("/cfg/" + relative.substr(relative.find('/') + 1) + "/" +
                                           kName + ".json"),
              1u);
    EXPECT_EQ(machine.services.files.count(machine.ManifestOf(Browser::Firefox)), 1u);
}

// Firefox reads the next folder when a manifest does not admit the add-on, and reads every
// system folder a build may have.
TEST_F(Folders, FirefoxMovesOnToTheNextFolder) {
    ASSERT_EQ(machine.Command("install",
                              {"--browser", "firefox", "--firefox-extension", "other@example.org"}),
              0);
    ASSERT_EQ(machine.Command("install", {"--browser", "firefox", "--system", "--firefox-extension",
                                          kFirefoxId}),
              0);
    const std::string system = machine.ManifestOf(Browser::Firefox, Scope::System);
    const std::string lib64 =
        Files::Join(Places::Split(Browsers::Facts(Browser::Firefox).linuxSystemFolders).back(),
                    kName + ".json");
    machine.services.files[lib64] = machine.services.files.at(system);
    machine.services.files.erase(system);
    EXPECT_EQ(
        machine.Command("doctor", {"--browser", "firefox", "--firefox-extension", kFirefoxId}), 0)
        << machine.out;
    EXPECT_TRUE(Has(machine.out, "firefox moves on to the next folder") &&
                Has(machine.out, "ok    folder " + Files::FolderOf(lib64)))
        << machine.out;
}

// A Snap or a Flatpak does not read the folders doctor walks: doctor says what it does instead.
TEST_F(Folders, ConfinedInstallsAreNamed) {
    const BrowserFacts& chromium = Browsers::Facts(Browser::Chromium);
    machine.services.files[std::string("/snap/") + chromium.linuxSnap + "/current/x"] = "";
    machine.services.files[machine.services.home + "/.var/app/" +
                           Browsers::Facts(Browser::Firefox).linuxFlatpak + "/x"] = "";
    EXPECT_EQ(machine.Command("doctor"), 1);
    EXPECT_TRUE(Has(machine.out, "a Snap of chromium is installed") &&
                Has(machine.out, "starts no host at all"))
        << machine.out;
    EXPECT_TRUE(Has(machine.out, "a Flatpak of firefox is installed") &&
                Has(machine.out, "only through its portal"))
        << machine.out;
}

TEST_F(Folders, UserScopeWithoutAHomeIsAFailure) {
    machine.services.home.clear();
    EXPECT_EQ(machine.Command("install", {"--extension-id", kIdA}), 1);
    EXPECT_TRUE(Has(machine.err, "--home")) << machine.err;
    EXPECT_EQ(machine.services.files.size(), 1u);
}

// A relative profile folder is the browser's too (`--user-data-dir profile`), as are a relative
// root and home: they are taken from the current folder.
TEST_F(Folders, RelativeFoldersAreTakenFromTheCurrentFolder) {
    const std::string manifest = Files::Join(
        Files::Join(Files::Absolute("profile"), "NativeMessagingHosts"), kName + ".json");
    ASSERT_EQ(machine.Command("install", {"--profile-dir", "profile", "--extension-id", kIdA}), 0);
    EXPECT_TRUE(Has(machine.out, "chromium (user)"));
    EXPECT_EQ(machine.services.files.count(manifest), 1u);
    EXPECT_EQ(machine.Command("list", {"--profile-dir", "profile"}), 0);
    EXPECT_TRUE(Has(machine.out, "chromium (user)") && Has(machine.out, manifest)) << machine.out;
    EXPECT_EQ(machine.Command("doctor", {"--profile-dir", "profile", "--extension-id", kIdA}), 0)
        << machine.out;
    EXPECT_EQ(machine.Command("uninstall", {"--profile-dir", "profile"}), 0);
    EXPECT_EQ(machine.services.files.count(manifest), 0u);

    const Args relative{"--root", "root", "--home", "home", "--browser", "chrome"};
    Args install = relative;
    install.insert(install.end(), {"--extension-id", kIdA});
    ASSERT_EQ(machine.Command("install", install), 0) << machine.err;
    const std::string user =
        Files::Absolute("home") + "/" + Browsers::Facts(Browser::Chrome).linuxUserFolder;
    EXPECT_EQ(
        machine.services.files.count(Files::Join(Files::Absolute("root") + user, kName + ".json")),
        1u);
    EXPECT_EQ(machine.Command("doctor", relative), 0) << machine.out;
}

class Registry : public testing::Test {
  protected:
    Machine machine{Platform::Registry};
};

TEST_F(Registry, ASharedManifestStaysWhileAKeyNamesIt) {
    ASSERT_EQ(machine.Command("install",
                              {"--browser", "chrome", "--browser", "edge", "--extension-id", kIdA}),
              0);
    const std::string manifest = machine.ManifestOf(Browser::Chrome);
    ASSERT_EQ(machine.Command("uninstall", {"--browser", "edge"}), 0);
    EXPECT_EQ(machine.services.files.count(manifest), 1u);
    ASSERT_EQ(machine.Command("uninstall", {"--browser", "chrome"}), 0);
    EXPECT_EQ(machine.services.files.count(manifest), 0u);
}

TEST_F(Registry, ARelativeHostPathIsReadBesideTheManifest) {
    ASSERT_EQ(machine.Command("install", {"--browser", "edge", "--extension-id", kIdA}), 0);
    machine.Rewrite(Browser::Edge, [&](auto& j) { j["path"] = Files::FileNameOf(machine.host); });
    EXPECT_EQ(machine.Command("doctor", {"--browser", "edge"}), 0) << machine.out;
    EXPECT_TRUE(Has(machine.out, "relative to the manifest's folder"));
}

// The support report: versions, the system, the walks, and the host started as the browser starts
// it, with its standard input at its end.
TEST_F(Registry, DoctorWritesTheSupportReport) {
    ASSERT_EQ(machine.Command("install", {"--browser", "edge", "--extension-id", kIdA}), 0);
    machine.services.programRun = ProgramRun{true, "", 3, "a diagnostic line\n"};
    const std::string report = Files::Join(Base(), "report.txt");
    EXPECT_EQ(machine.Command("doctor",
                              {"--browser", "edge", "--extension-id", kIdA, "--report", report}),
              0)
        << machine.out;
    const std::string text = machine.services.files.at(report);
    for (const std::string& part :
         {std::string("tool: quenlow-register "), std::string("system: Fake OS 1.0"),
          "edge: " + kName, std::string("edge can start the host"), "host: " + machine.host,
          std::string("exit status: 3"), std::string("    a diagnostic line")}) {
        EXPECT_TRUE(Has(text, part)) << part << "\n" << text;
    }
    ASSERT_EQ(machine.services.runs.size(), 1u);
    EXPECT_EQ(machine.services.runs[0].second, (Args{kOriginA, "--parent-window=0"}));
}

// Edge's policy keys as the registry holds them: where doctor finds them, and what they do.
struct PolicyCase {
    const char* name;
    std::vector<std::tuple<std::string, RegistryValue>> values;  // key below the policy key
    Scope scope;
    std::string said;
    std::string message;  // empty: edge can start the host
};

void PrintTo(const PolicyCase& policy, std::ostream* out) {
    *out << policy.name;
}

class DoctorPolicyKeys : public testing::TestWithParam<PolicyCase> {};

TEST_P(DoctorPolicyKeys, AreReadByTheDoctor) {
    Machine machine(Platform::Registry);
    ASSERT_EQ(machine.Command("install",
                              {"--browser", "edge", "--" + Browsers::ScopeName(GetParam().scope),
                               "--extension-id", kIdA}),
              0);
    const std::string policies = Browsers::Facts(Browser::Edge).windowsPolicyKey;
    for (const auto& [key, value] : GetParam().values) {
        const std::size_t slash = key.find('\\');
        const std::string path = key.substr(0, slash) + "\\" + policies +
                                 (slash == std::string::npos ? "" : key.substr(slash));
        machine.services.keys[path].values.push_back(value);
    }
    const int status = machine.Command("doctor", {"--browser", "edge", "--extension-id", kIdA});
    std::string said = GetParam().said;
    for (std::size_t at = said.find("POLICIES"); at != std::string::npos;
         at = said.find("POLICIES")) {
        said.replace(at, 8, policies);
    }
    EXPECT_TRUE(Has(machine.out, said)) << machine.out;
    EXPECT_EQ(status, GetParam().message.empty() ? 0 : 1) << machine.out;
    if (!GetParam().message.empty()) {
        EXPECT_TRUE(Has(machine.out, "edge tells the extension: " + GetParam().message));
    }
}

RegistryValue Text(const std::string& name, const std::string& text) {
    return {name, RegistryValue::Type::String, text, 0};
}

RegistryValue Number(const std::string& name, std::uint32_t number) {
    return {name, RegistryValue::Type::Dword, "", number};
}

INSTANTIATE_TEST_SUITE_P(
    Edge, DoctorPolicyKeys,
    testing::Values(
        PolicyCase{"BlocklistAll",
                   {{"HKLM\\NativeMessagingBlocklist", Text("1", "*")}},
                   Scope::User,
                   "blocked by the administrator's NativeMessagingBlocklist (*) in "
                   "HKLM\\POLICIES\\NativeMessagingBlocklist",
                   kBlocked},
        PolicyCase{"AllowlistOfTheUser",
                   {{"HKLM\\NativeMessagingBlocklist", Text("1", "*")},
                    {"HKCU\\NativeMessagingAllowlist", Text("1", kName)}},
                   Scope::User,
                   "NativeMessagingAllowlist in HKCU\\POLICIES\\NativeMessagingAllowlist lets " +
                       kName + " through",
                   ""},
        PolicyCase{"UserLevelHostsOff",
                   {{"HKCU", Number("NativeMessagingUserLevelHosts", 0)}},
                   Scope::User,
                   "user-level hosts are turned off by NativeMessagingUserLevelHosts",
                   kNotFound},
        PolicyCase{"SystemLevelHost",
                   {{"HKLM", Number("NativeMessagingUserLevelHosts", 0)}},
                   Scope::System,
                   "reads system-level registrations only",
                   ""},
        PolicyCase{"LegacyBlocklistName",
                   {{"HKLM\\NativeMessagingBlacklist", Text("1", "*")}},
                   Scope::User,
                   "NativeMessagingBlacklist in HKLM\\POLICIES\\NativeMessagingBlacklist applies "
                   "under its old name",
                   kBlocked},
        PolicyCase{"NewNameWinsOverTheLegacyOne",
                   {{"HKLM\\NativeMessagingBlacklist", Text("1", "*")},
                    {"HKCU\\NativeMessagingBlocklist", Text("1", "com.other")}},
                   Scope::User,
                   "NativeMessagingBlocklist in HKCU\\POLICIES\\NativeMessagingBlocklist does not "
                   "name",
                   ""},
        PolicyCase{"ExtensionSettingsTakeThePermission",
                   {{"HKLM", Text("ExtensionSettings",
                                  R"({"*": {"blocked_permissions": ["nativeMessaging"]}})")}},
                   Scope::User,
                   "ExtensionSettings in HKLM\\POLICIES blocks the nativeMessaging permission of "
                   "every extension",
                   "nothing: runtime.connectNative is not there"},
        PolicyCase{"ExtensionsOwnSettingsReplaceTheDefault",
                   {{"HKLM", Text("ExtensionSettings",
                                  R"({"*": {"blocked_permissions": ["nativeMessaging"]}, ")" +
                                      kIdA + R"(": {"blocked_permissions": []}})")}},
                   Scope::User,
                   "edge can start the host",
                   ""}),
    [](const testing::TestParamInfo<PolicyCase>& info) { return std::string(info.param.name); });

// How Edge starts a host on Windows, and what breaks "cmd.exe /d /c <host>".
struct LaunchCase {
    const char* name;
    std::string folder;                   // of the host, under the machine's base
    std::optional<std::uint32_t> direct;  // NativeHostsExecutablesLaunchDirectly
    bool commandPromptOff;                // DisableCMD
    int status;
    std::string said;
};

void PrintTo(const LaunchCase& launch, std::ostream* out) {
    *out << launch.name;
}

class LaunchPaths : public testing::TestWithParam<LaunchCase> {};

TEST_P(LaunchPaths, AreCheckedAsTheBrowserStartsTheHost) {
    Machine machine(Platform::Registry);
    const std::string folder = Files::Join(Base(), GetParam().folder);
    for (const char* file : {"Quenlow.exe", "Varnhold64.dll", "Halvern.dll"}) {
        machine.services.files[Files::Join(folder, file)] = "program";
    }
    machine.host = Files::Join(folder, "Quenlow.exe");
    machine.services.programs.insert(machine.host);
    ASSERT_EQ(machine.Command("install", {"--browser", "edge", "--extension-id", kIdA}), 0);
    const std::string policies =
        std::string("HKLM\\") + Browsers::Facts(Browser::Edge).windowsPolicyKey;
    if (GetParam().direct) {
        machine.services.keys[policies].values.push_back(
            Number("NativeHostsExecutablesLaunchDirectly", *GetParam().direct));
    }
    if (GetParam().commandPromptOff) {
        machine.services.keys["HKCU\\Software\\Policies\\Microsoft\\Windows\\System"]
            .values.push_back(Number("DisableCMD", 1));
    }
    EXPECT_EQ(machine.Command("doctor", {"--browser", "edge"}), GetParam().status) << machine.out;
    EXPECT_TRUE(Has(machine.out, GetParam().said)) << machine.out;
}

INSTANTIATE_TEST_SUITE_P(
    Windows, LaunchPaths,
    testing::Values(
        LaunchCase{"PlainPathEitherWay", "apps", std::nullopt, false, 0,
                   "through cmd.exe /d /c or directly"},
        LaunchCase{"AmpersandThroughCmd", "R&D", 0u, false, 1,
                   "edge tells the extension: \"Native host has exited.\""},
        LaunchCase{"AmpersandMaybeThroughCmd", "R&D", std::nullopt, false, 1,
                   "holds &, which cmd.exe takes for its own"},
        LaunchCase{"AmpersandStartedDirectly", "R&D", 1u, false, 0,
                   "edge starts the host directly"},
        LaunchCase{"PercentAndCaret", "50%^x", 0u, false, 1, "holds ^ %"},
        LaunchCase{"CommandPromptOff", "apps", 0u, true, 1,
                   "edge tells the extension: \"Failed to start native messaging host.\""},
        LaunchCase{"CommandPromptOffDirect", "apps", 1u, true, 0, "edge can start the host"}),
    [](const testing::TestParamInfo<LaunchCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace browser_extensions::registration
