#include "CommandLine.h"

namespace browser_extensions::tools {
namespace {

// CLI11 says "--input: 1 required TEXT missing"; the tools say "--input needs a value".
std::string Reworded(const CLI::ParseError& error) {
    const std::string text = error.what();
    const std::size_t colon = text.find(": ");
    const bool missingValue = dynamic_cast<const CLI::ArgumentMismatch*>(&error) != nullptr &&
                              text.size() >= 7 && text.compare(text.size() - 7, 7, "missing") == 0;
    if (missingValue && colon != std::string::npos) {
        return text.substr(0, colon) + " needs a value";
    }
    return text;
}

std::string Unexpected(const std::string& word) {
    return !word.empty() && word[0] == '-' ? "unknown option " + word
                                           : "unknown command \"" + word + "\"";
}

}  // namespace

std::string CommandLine::Version() {
    return QUENLOW_VERSION;
}

void CommandLine::Prepare(CLI::App& app) {
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.allow_extras();  // said below in the tools' own words
    app.set_version_flag("--version", app.get_name() + " " + Version());
}

std::optional<int> CommandLine::Parse(CLI::App& app, const std::vector<std::string>& arguments,
                                      const Check& check, std::ostream& out, std::ostream& err) {
    std::string error;
    try {
        std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
        app.parse(reversed);
        const std::vector<std::string> extras = app.remaining(true);
        error = extras.empty() ? check() : Unexpected(extras.front());
    } catch (const CLI::CallForHelp&) {
        out << app.help();
        return 0;
    } catch (const CLI::CallForAllHelp&) {
        out << app.help("", CLI::AppFormatMode::All);
        return 0;
    } catch (const CLI::CallForVersion& version) {
        out << version.what() << "\n";
        return 0;
    } catch (const CLI::ParseError& parseError) {
        error = Reworded(parseError);
    }
    if (error.empty()) {
        return std::nullopt;
    }
    err << app.get_name() << ": " << error << " (" << app.get_name() << " --help for usage)\n";
    return kUsageError;
}

CLI::Validator CommandLine::Accepting(std::function<bool(const std::string&)> accept,
                                      std::string expected) {
    return CLI::Validator(
        [accept = std::move(accept), expected = std::move(expected)](const std::string& value) {
            return accept(value) ? std::string()
                                 : "not a valid value: '" + value + "'" +
                                       (expected.empty() ? "" : " (" + expected + ")");
        },
        "", "");
}

}  // namespace browser_extensions::tools
