#include "TalkOptions.h"

#include <cmath>
#include <cstdlib>

namespace browser_extensions::talk {

namespace {

bool ToSeconds(const std::string& text, double& seconds) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || !std::isfinite(value) || value < 0) {
        return false;
    }
    seconds = value;
    return true;
}

bool ToCount(const std::string& text, std::size_t& count) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
        text.size() > 9) {
        return false;
    }
    count = static_cast<std::size_t>(std::stoul(text));
    return true;
}

bool IsExtensionId(const std::string& id) {
    return id.size() == 32 && id.find_first_not_of("abcdefghijklmnop") == std::string::npos;
}

}  // namespace

TalkOptionsParser::Outcome TalkOptionsParser::Parse(const std::vector<std::string>& args,
                                                    TalkOptions& options, std::string& error) {
    std::size_t i = 0;
    const auto value = [&](const std::string& name, std::string& out) {
        if (i + 1 >= args.size()) {
            error = name + " needs a value";
            return false;
        }
        out = args[++i];
        return true;
    };
    const auto bad = [&](const std::string& name, const std::string& text,
                         const std::string& hint = "") {
        error = name + ": not a valid value: '" + text + "'" + hint;
        return Outcome::Error;
    };
    for (; i < args.size(); ++i) {
        const std::string& arg = args[i];
        std::string text;
        if (arg == "--") {
            ++i;
            break;
        }
        if (arg == "-h" || arg == "--help") {
            return Outcome::Help;
        }
        if (arg.empty() || arg[0] != '-') {
            break;  // the host's path
        }
        if (arg == "--raw-hex") {
            options.rawHex = true;
        } else if (arg == "--hex") {
            options.showHex = true;
        } else if (arg == "--pretty") {
            options.pretty = true;
        } else if (arg == "--no-origin") {
            options.passOrigin = false;
        } else if (arg == "--input" || arg == "-i") {
            if (!value(arg, text)) {
                return Outcome::Error;
            }
            options.inputFile = text;
        } else if (arg == "--transcript") {
            if (!value(arg, text)) {
                return Outcome::Error;
            }
            options.transcriptFile = text;
        } else if (arg == "--origin") {
            if (!value(arg, text)) {
                return Outcome::Error;
            }
            options.origin = text;
        } else if (arg == "--extension-id") {
            if (!value(arg, text)) {
                return Outcome::Error;
            }
            if (!IsExtensionId(text)) {
                return bad(arg, text, " (32 letters a to p expected)");
            }
            options.origin = "chrome-extension://" + text + "/";
        } else if (arg == "--wait" || arg == "--timeout" || arg == "--pace" ||
                   arg == "--kill-after") {
            double seconds = 0;
            if (!value(arg, text)) {
                return Outcome::Error;
            }
            if (!ToSeconds(text, seconds)) {
                return bad(arg, text);
            }
            if (arg == "--wait") {
                options.waitSeconds = seconds;
            } else if (arg == "--timeout") {
                options.timeoutSeconds = seconds;
            } else if (arg == "--pace") {
                options.paceSeconds = seconds;
            } else {
                options.killAfterSeconds = seconds;
            }
        } else if (arg == "--expect" || arg == "--max-print") {
            std::size_t count = 0;
            if (!value(arg, text)) {
                return Outcome::Error;
            }
            if (!ToCount(text, count)) {
                return bad(arg, text);
            }
            if (arg == "--expect") {
                options.expectFrames = count;
            } else {
                options.maxPrint = count;
            }
        } else if (arg == "--env") {
            if (!value(arg, text)) {
                return Outcome::Error;
            }
            const std::size_t equals = text.find('=');
            if (equals == 0 || equals == std::string::npos) {
                return bad(arg, text, " (NAME=VALUE expected)");
            }
            options.environment[text.substr(0, equals)] = text.substr(equals + 1);
        } else {
            error = "unknown option " + arg;
            return Outcome::Error;
        }
    }
    if (i >= args.size()) {
        error = "no host given (quenlow-talk [options] -- <host> [arguments])";
        return Outcome::Error;
    }
    options.hostPath = args[i];
    options.hostArguments.assign(args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
    return Outcome::Run;
}

std::string TalkOptionsParser::Usage() {
    return R"(quenlow-talk: plays the browser's side of native messaging for any host.

usage: quenlow-talk [options] -- <host> [host arguments...]

The host is started in its own folder with the origin argument a browser passes. Each input
line is one message (JSON, sent verbatim in a frame); blank lines and lines starting with '#'
are skipped (a '#' line is printed as a comment). Every frame the host sends is printed, decoded,
with the JSON inside a JSON string too, and judged as a browser would judge it.

options:
  -i, --input FILE      messages from FILE (default: standard input, with a prompt on a terminal)
  --raw-hex             input lines are bytes in hex ("ff ff ff ff"), sent as they are, unframed
  --hex                 also print each frame's bytes in hex
  --pretty              print JSON indented
  --wait SECONDS        after the input ends, close the host's input once no frame arrived for
                        this long (default 1)
  --expect N            after the input ends, close the host's input as soon as N frames arrived;
                        fewer within the timeout is a failure
  --timeout SECONDS     overall limit; 0 = none (default 30, none when typing on a terminal)
  --kill-after SECONDS  after closing the host's input, wait this long for it to exit before
                        killing it (default 2)
  --pace SECONDS        pause after each message
  --transcript FILE     write every event as one JSON object per line
  --env NAME=VALUE      set a variable for the host (repeatable)
  --origin TEXT         the origin argument (default chrome-extension://knldjmfmopnpolahpmmgbagdohdnhkik/)
  --extension-id ID     the origin of that extension
  --no-origin           pass no origin argument
  --max-print N         print at most N bytes of one value (default 4000; 0 = all)

exit codes: 0 all went as asked; 1 a frame a browser would drop or disconnect on, or a truncated
frame; 2 bad command line or input line; 3 the host or a file could not be opened; 4 fewer frames
than --expect; 5 the timeout struck; 6 the host failed (nonzero exit, killed, or it did not exit);
7 a message could not be sent. With several, the lowest code is returned; all are listed.
)";
}

}  // namespace browser_extensions::talk
