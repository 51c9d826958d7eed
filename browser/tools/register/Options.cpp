#include "Options.h"

#include <algorithm>

#include "CommandLine.h"
#include "Files.h"
#include "Identifiers.h"

namespace browser_extensions::registration {
namespace {

using tools::CommandLine;

struct CommandInfo {
    const char* name;
    Command command;
    const char* description;
};

constexpr CommandInfo kCommands[] = {
    {"install", Command::Install, "write the host manifest where the browsers look for it"},
    {"uninstall", Command::Uninstall, "remove it again"},
    {"list", Command::List, "show what is registered where"},
    {"doctor", Command::Doctor, "walk the chain a browser walks and say what breaks it"},
};

bool IsBrowserWord(const std::string& value) {
    return value == "all" || Browsers::Parse(value).has_value();
}

// Folders given relative to where the tool runs; an empty one stays empty (not given).
std::string FromCurrentFolder(const std::string& folder) {
    return folder.empty() ? folder : Files::Absolute(folder);
}

// Raw words of the command line, turned into Options once all are read.
struct Words {
    std::vector<std::string> browsers;
    bool user = false;
    bool system = false;
};

void AddOptions(CLI::App& command, Options& options, Words& words) {
    command
        .add_option("--browser", words.browsers,
                    "chrome, chromium, edge, brave, vivaldi, firefox or all; repeatable "
                    "(install: the browsers the given ids suit)")
        ->take_all()
        ->allow_extra_args(false)
        ->check(CommandLine::Accepting(
            IsBrowserWord,
            "unknown browser: chrome, chromium, edge, brave, vivaldi, firefox or all"));
    command.add_flag("--user", words.user, "per-user registration (install default)");
    command.add_flag("--system", words.system, "machine-wide registration");
    command.add_option("--name", options.name, "host name (default com.quenlow.host)")
        ->check(CommandLine::Accepting(
            Identifiers::IsValidHostName,
            "invalid host name: use lower-case letters, digits, '_' and '.', with no dot at either "
            "end and no two dots in a row"));
    command
        .add_option("--host-path", options.hostPath,
                    "absolute path of the host (default: Quenlow beside this tool)")
        ->check(CommandLine::Accepting([](const std::string& path) { return !path.empty(); },
                                       "--host-path needs a path"));
    command
        .add_option("--extension-id", options.extensionIds,
                    "Chromium-family extension allowed to connect; repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(CommandLine::Accepting(Identifiers::IsValidChromiumExtensionId,
                                       "invalid extension id: 32 letters from a to p"));
    command
        .add_option("--firefox-extension", options.firefoxExtensions,
                    "Firefox add-on allowed to connect; repeatable")
        ->take_all()
        ->allow_extra_args(false)
        ->check(
            CommandLine::Accepting(Identifiers::IsValidFirefoxExtensionId,
                                   "invalid Firefox add-on id: name@domain or a UUID in braces"));
    command.add_option("--description", options.description, "manifest description");
    command.add_option("--profile-dir", options.profileDir,
                       "a Chromium-family user-data folder: use DIR/NativeMessagingHosts");
    command.add_option("--root", options.root,
                       "put every manifest and policy folder under PREFIX (Linux)");
    command.add_option("--home", options.home, "home folder for --user (Linux; default $HOME)");
    command.add_option("--manifest-dir", options.manifestDir,
                       "folder for manifest files (Windows; default: the host's)");
}

std::string CheckCombination(const Options& options, const Words& words, bool registry) {
    if (words.user && words.system) {
        return "--user and --system exclude each other";
    }
    if (registry && (!options.root.empty() || !options.home.empty())) {
        return "--root and --home apply to manifest folders; this system uses the registry";
    }
    if (!registry && !options.manifestDir.empty()) {
        return "--manifest-dir applies to registry-based systems; manifests go into the "
               "browsers' folders here";
    }
    if (!options.profileDir.empty()) {
        const bool allChromium = std::all_of(options.browsers.begin(), options.browsers.end(),
                                             Browsers::IsChromiumFamily);
        if (!allChromium || words.user || words.system) {
            return "--profile-dir names one Chromium-family profile: it takes no --user, "
                   "--system or --browser firefox";
        }
    }
    return "";
}

void Settle(Options& options, const Words& words) {
    for (const std::string& word : words.browsers) {
        if (word == "all") {
            options.browsers.insert(options.browsers.end(), Browsers::All().begin(),
                                    Browsers::All().end());
        } else {
            options.browsers.push_back(*Browsers::Parse(word));
        }
    }
    std::sort(options.browsers.begin(), options.browsers.end());
    options.browsers.erase(std::unique(options.browsers.begin(), options.browsers.end()),
                           options.browsers.end());
    if (words.user || words.system) {
        options.scope = words.user ? Scope::User : Scope::System;
    }
    options.root = FromCurrentFolder(options.root);
    options.home = FromCurrentFolder(options.home);
    options.profileDir = FromCurrentFolder(options.profileDir);
    options.manifestDir = FromCurrentFolder(options.manifestDir);
    options.report = FromCurrentFolder(options.report);
}

}  // namespace

std::optional<int> OptionParser::Parse(const std::vector<std::string>& arguments, bool usesRegistry,
                                       Options& options, std::ostream& out, std::ostream& err) {
    CLI::App app("registers the host with browsers: installs, removes, lists and checks it.",
                 "quenlow-register");
    CommandLine::Prepare(app);
    app.require_subcommand(0, 1);
    app.footer(
        "Exit status: 0 success, 1 failure (doctor: a browser checked cannot start the host), 2 "
        "usage error.");
    Words words;
    for (const CommandInfo& info : kCommands) {
        CLI::App* command = app.add_subcommand(info.name, info.description);
        AddOptions(*command, options, words);
        if (info.command == Command::Doctor) {
            command->add_option("--report", options.report,
                                "also write a support report to FILE (replaced; a link there is "
                                "replaced, not followed)");
        }
        command->callback([&options, &info] { options.command = info.command; });
    }
    CLI::App* help = app.add_subcommand("help", "show this help");
    const auto check = [&]() -> std::string {
        if (app.get_subcommands().empty()) {
            return "no command given";
        }
        Settle(options, words);
        return CheckCombination(options, words, usesRegistry);
    };
    if (const std::optional<int> stop = CommandLine::Parse(app, arguments, check, out, err)) {
        return stop;
    }
    if (help->parsed()) {
        out << app.get_formatter()->make_help(&app, app.get_name(), CLI::AppFormatMode::Normal);
        return 0;
    }
    return std::nullopt;
}

}  // namespace browser_extensions::registration
