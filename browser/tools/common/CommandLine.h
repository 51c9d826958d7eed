#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace browser_extensions::tools {

// One way for every tool to read its command line: --help on each command, --version, and a
// usage error said in one line with exit code 2.
class CommandLine {
  public:
    static constexpr int kUsageError = 2;
    // The tools' version, as --version gives it.
    static std::string Version();
    // Says what does not fit together once everything is parsed; empty when all does.
    using Check = std::function<std::string()>;

    // A parser for `tool`: --version, and a repeated single-value option keeps its last value.
    static void Prepare(CLI::App& app);
    // The exit code when the tool stops here (help, version, usage error); empty to go on.
    static std::optional<int> Parse(CLI::App& app, const std::vector<std::string>& arguments,
                                    const Check& check, std::ostream& out, std::ostream& err);
    // Accepts a value when `accept` does; otherwise the error names it and adds `expected`.
    static CLI::Validator Accepting(std::function<bool(const std::string&)> accept,
                                    std::string expected = "");
};

}  // namespace browser_extensions::tools
