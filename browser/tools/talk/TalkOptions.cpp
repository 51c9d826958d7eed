#include "TalkOptions.h"

#include <cmath>
#include <cstdlib>

#include "CommandLine.h"
#include "Identifiers.h"

namespace browser_extensions::talk {

namespace {

using tools::CommandLine;

bool IsSeconds(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    return !text.empty() && end == text.c_str() + text.size() && std::isfinite(value) && value >= 0;
}

bool IsCount(const std::string& text) {
    return !text.empty() && text.size() <= 9 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

bool IsAssignment(const std::string& text) {
    const std::size_t equals = text.find('=');
    return equals != 0 && equals != std::string::npos;
}

// The host's command line starts after "--", or at the first word that is no option's value.
std::size_t HostStart(const CLI::App& app, const std::vector<std::string>& args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--" || arg.empty() || arg[0] != '-') {
            return i;
        }
        const CLI::Option* option = app.get_option_no_throw(arg);
        if (option != nullptr && option->get_expected_min() > 0) {
            ++i;  // its value
        }
    }
    return args.size();
}

const char* kDescription =
    R"(plays the browser's side of native messaging for any host.
usage: quenlow-talk [options] -- <host> [host arguments...]

The host is started in its own folder with the origin argument a browser passes. Each input
line is one message (JSON, sent verbatim in a frame); blank lines and lines starting with '#'
are skipped (a '#' line is printed as a comment). Every frame the host sends is printed, decoded,
with the JSON inside a JSON string too, and judged as a browser would judge it.)";

const char* kExitCodes =
    R"(exit codes: 0 all went as asked; 1 a frame a browser would drop or disconnect on, or a truncated
frame; 2 bad command line or input line; 3 the host or a file could not be opened; 4 fewer frames
than --expect; 5 the timeout struck; 6 the host failed (nonzero exit, killed, or it did not exit);
7 a message could not be sent. With several, the lowest code is returned; all are listed.)";

void AddOptions(CLI::App& app, TalkOptions& options, std::vector<std::string>& environment) {
    const CLI::Validator seconds = CommandLine::Accepting(IsSeconds);
    const CLI::Validator count = CommandLine::Accepting(IsCount);
    app.add_option("-i,--input", options.inputFile,
                   "messages from FILE (default: standard input, with a prompt on a terminal)");
    app.add_flag("--raw-hex", options.rawHex,
                 "input lines are bytes in hex (\"ff ff ff ff\"), sent as they are, unframed");
    app.add_flag("--hex", options.showHex, "also print each frame's bytes in hex");
    app.add_flag("--pretty", options.pretty, "print JSON indented");
    app.add_option("--wait", options.waitSeconds,
                   "after the input ends, close the host's input once no frame arrived for this "
                   "long (default 1)")
        ->check(seconds);
    app.add_option("--expect", options.expectFrames,
                   "after the input ends, close the host's input as soon as N frames arrived; "
                   "fewer within the timeout is a failure")
        ->check(count);
    app.add_option("--timeout", options.timeoutSeconds,
                   "overall limit; 0 = none (default 30, none when typing on a terminal)")
        ->check(seconds);
    app.add_option("--kill-after", options.killAfterSeconds,
                   "after closing the host's input, wait this long for it to exit before killing "
                   "it (default 2)")
        ->check(seconds);
    app.add_option("--pace", options.paceSeconds, "pause after each message")->check(seconds);
    app.add_option("--transcript", options.transcriptFile,
                   "write every event as one JSON object per line");
    app.add_option("--env", environment, "set a variable for the host (repeatable)")
        ->take_all()
        ->allow_extra_args(false)
        ->check(CommandLine::Accepting(IsAssignment, "NAME=VALUE expected"));
    app.add_option("--origin", options.origin,
                   "the origin argument (default chrome-extension://"
                   "knldjmfmopnpolahpmmgbagdohdnhkik/)");
    app.add_option_function<std::string>(
           "--extension-id",
           [&options](const std::string& id) { options.origin = Identifiers::ChromiumOrigin(id); },
           "the origin of that extension")
        ->check(CommandLine::Accepting(Identifiers::IsValidChromiumExtensionId,
                                       "32 letters a to p expected"));
    app.add_flag_callback(
        "--no-origin", [&options] { options.passOrigin = false; }, "pass no origin argument");
    app.add_option("--max-print", options.maxPrint,
                   "print at most N bytes of one value (default 4000; 0 = all)")
        ->check(count);
}

}  // namespace

std::optional<int> TalkOptionsParser::Parse(const std::vector<std::string>& args,
                                            TalkOptions& options, std::ostream& out,
                                            std::ostream& err) {
    CLI::App app(kDescription, "quenlow-talk");
    CommandLine::Prepare(app);
    app.footer(kExitCodes);
    std::vector<std::string> environment;
    AddOptions(app, options, environment);

    std::size_t host = HostStart(app, args);
    const std::vector<std::string> own(args.begin(),
                                       args.begin() + static_cast<std::ptrdiff_t>(host));
    if (host < args.size() && args[host] == "--") {
        ++host;
    }
    const auto check = [&]() -> std::string {
        if (host >= args.size()) {
            return "no host given (quenlow-talk [options] -- <host> [arguments])";
        }
        return "";
    };
    if (const std::optional<int> stop = CommandLine::Parse(app, own, check, out, err)) {
        return stop;
    }
    for (const std::string& assignment : environment) {
        const std::size_t equals = assignment.find('=');
        options.environment[assignment.substr(0, equals)] = assignment.substr(equals + 1);
    }
    options.hostPath = args[host];
    options.hostArguments.assign(args.begin() + static_cast<std::ptrdiff_t>(host) + 1, args.end());
    return std::nullopt;
}

}  // namespace browser_extensions::talk
