#include "Options.h"

#include <algorithm>
#include <functional>
#include <map>

#include "Files.h"
#include "Identifiers.h"
#include "SystemServices.h"

namespace browser_extensions::registration {
namespace {

std::optional<Command> CommandNamed(const std::string& word) {
    static const std::map<std::string, Command> commands{{"install", Command::Install},
                                                         {"uninstall", Command::Uninstall},
                                                         {"list", Command::List},
                                                         {"doctor", Command::Doctor},
                                                         {"help", Command::Help}};
    const auto found = commands.find(word);
    return found == commands.end() ? std::nullopt : std::optional<Command>(found->second);
}

bool AddBrowsers(const std::string& value, Options& options, std::string& error) {
    if (value == "all") {
        for (Browser browser : Browsers::All()) {
            options.browsers.push_back(browser);
        }
        return true;
    }
    const std::optional<Browser> browser = Browsers::Parse(value);
    if (!browser) {
        error = "unknown browser \"" + value +
                "\" (chrome, chromium, edge, brave, vivaldi, firefox or all)";
        return false;
    }
    options.browsers.push_back(*browser);
    return true;
}

bool SetScope(Scope scope, Options& options, std::string& error) {
    if (options.scope && *options.scope != scope) {
        error = "--user and --system exclude each other";
        return false;
    }
    options.scope = scope;
    return true;
}

// Folders given relative to where the tool runs; an empty one stays empty (not given).
std::string FromCurrentFolder(const std::string& folder) {
    return folder.empty() ? folder : Files::Absolute(folder);
}

using ValueSetter = std::function<bool(const std::string&, Options&, std::string&)>;

const std::map<std::string, ValueSetter>& ValueOptions() {
    static const std::map<std::string, ValueSetter> setters{
        {"--browser", AddBrowsers},
        {"--name",
         [](const std::string& value, Options& options, std::string& error) {
             if (!Identifiers::IsValidHostName(value)) {
                 error = "invalid host name \"" + value +
                         "\": use lower-case letters, digits, '_' and '.', with no dot at either "
                         "end and no two dots in a row";
                 return false;
             }
             options.name = value;
             options.nameGiven = true;
             return true;
         }},
        {"--host-path",
         [](const std::string& value, Options& options, std::string& error) {
             options.hostPath = value;
             error = value.empty() ? "--host-path needs a path" : "";
             return !value.empty();
         }},
        {"--extension-id",
         [](const std::string& value, Options& options, std::string& error) {
             if (!Identifiers::IsValidChromiumExtensionId(value)) {
                 error = "invalid extension id \"" + value + "\": 32 letters from a to p";
                 return false;
             }
             options.extensionIds.push_back(value);
             return true;
         }},
        {"--firefox-extension",
         [](const std::string& value, Options& options, std::string& error) {
             if (!Identifiers::IsValidFirefoxExtensionId(value)) {
                 error =
                     "invalid Firefox add-on id \"" + value + "\": name@domain or a UUID in braces";
                 return false;
             }
             options.firefoxExtensions.push_back(value);
             return true;
         }},
        {"--description",
         [](const std::string& value, Options& options, std::string&) {
             options.description = value;
             return true;
         }},
        {"--root",
         [](const std::string& value, Options& options, std::string&) {
             options.root = FromCurrentFolder(value);
             return true;
         }},
        {"--home",
         [](const std::string& value, Options& options, std::string&) {
             options.home = FromCurrentFolder(value);
             return true;
         }},
        {"--profile-dir",
         [](const std::string& value, Options& options, std::string&) {
             options.profileDir = value;
             return true;
         }},
        {"--manifest-dir",
         [](const std::string& value, Options& options, std::string&) {
             options.manifestDir = value;
             return true;
         }},
    };
    return setters;
}

bool ParseOption(const std::vector<std::string>& arguments, std::size_t& index, Options& options,
                 std::string& error) {
    std::string option = arguments[index];
    if (option == "--user" || option == "--system") {
        return SetScope(option == "--user" ? Scope::User : Scope::System, options, error);
    }
    if (option == "--help" || option == "-h") {
        options.command = Command::Help;
        return true;
    }
    std::optional<std::string> value;
    const std::size_t equals = option.find('=');
    if (equals != std::string::npos) {
        value = option.substr(equals + 1);
        option.resize(equals);
    }
    const auto setter = ValueOptions().find(option);
    if (setter == ValueOptions().end()) {
        error = "unknown option " + option;
        return false;
    }
    if (!value) {
        if (index + 1 >= arguments.size()) {
            error = option + " needs a value";
            return false;
        }
        value = arguments[++index];
    }
    return setter->second(*value, options, error);
}

bool CheckCombination(const Options& options, std::string& error) {
    const bool registry = SystemServices::UsesRegistry();
    if (registry && (!options.root.empty() || !options.home.empty())) {
        error = "--root and --home apply to manifest folders; this system uses the registry";
        return false;
    }
    if (!registry && !options.manifestDir.empty()) {
        error =
            "--manifest-dir applies to registry-based systems; manifests go into the "
            "browsers' folders here";
        return false;
    }
    if (!options.profileDir.empty()) {
        const bool allChromium = std::all_of(options.browsers.begin(), options.browsers.end(),
                                             Browsers::IsChromiumFamily);
        if (!allChromium || options.scope) {
            error =
                "--profile-dir names one Chromium-family profile: it takes no --user, "
                "--system or --browser firefox";
            return false;
        }
    }
    return true;
}

}  // namespace

bool OptionParser::Parse(const std::vector<std::string>& arguments, Options& options,
                         std::string& error) {
    if (arguments.empty()) {
        error = "no command given";
        return false;
    }
    const std::optional<Command> command = CommandNamed(arguments[0]);
    if (!command) {
        if (arguments[0] == "--help" || arguments[0] == "-h") {
            options.command = Command::Help;
            return true;
        }
        error = "unknown command \"" + arguments[0] + "\"";
        return false;
    }
    options.command = *command;
    for (std::size_t index = 1; index < arguments.size(); ++index) {
        if (!ParseOption(arguments, index, options, error)) {
            return false;
        }
        if (options.command == Command::Help) {
            return true;
        }
    }
    std::sort(options.browsers.begin(), options.browsers.end());
    options.browsers.erase(std::unique(options.browsers.begin(), options.browsers.end()),
                           options.browsers.end());
    return CheckCombination(options, error);
}

std::string OptionParser::Usage() {
    return "usage: quenlow-register COMMAND [OPTIONS]\n"
           "\n"
           "Commands:\n"
           "  install     write the host manifest where the browsers look for it\n"
           "  uninstall   remove it again\n"
           "  list        show what is registered where\n"
           "  doctor      walk the chain a browser walks and say what breaks it\n"
           "\n"
           "Options:\n"
           "  --browser NAME          chrome, chromium, edge, brave, vivaldi, firefox or all;\n"
           "                          repeatable (install: the browsers the given ids suit)\n"
           "  --user | --system       per-user (install default) or machine-wide registration\n"
           "  --name NAME             host name (default com.quenlow.host)\n"
           "  --host-path PATH        absolute path of the host (default: Quenlow beside this "
           "tool)\n"
           "  --extension-id ID       Chromium-family extension allowed to connect; repeatable\n"
           "  --firefox-extension ID  Firefox add-on allowed to connect; repeatable\n"
           "  --description TEXT      manifest description\n"
           "  --profile-dir DIR       a Chromium-family user-data folder: use DIR/"
           "NativeMessagingHosts\n"
           "  --root PREFIX           put every manifest and policy folder under PREFIX "
           "(Linux)\n"
           "  --home DIR              home folder for --user (Linux; default $HOME)\n"
           "  --manifest-dir DIR      folder for manifest files (Windows; default: the host's)\n"
           "\n"
           "Exit status: 0 success, 1 failure (doctor: a browser checked cannot start the "
           "host), 2 usage error.\n";
}

}  // namespace browser_extensions::registration
