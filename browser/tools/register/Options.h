#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "Browser.h"

namespace browser_extensions::registration {

enum class Command { Install, Uninstall, List, Doctor };

struct Options {
    static constexpr const char* kDefaultName = "com.quenlow.host";
    static constexpr const char* kDefaultDescription = "Quenlow native messaging host";

    Command command = Command::List;
    std::vector<Browser> browsers;  // empty: the command's default
    std::optional<Scope> scope;     // empty: the command's default
    std::string name = kDefaultName;
    bool nameGiven = false;
    std::string hostPath;  // empty: the host beside the tool
    std::vector<std::string> extensionIds;
    std::vector<std::string> firefoxExtensions;
    std::string description = kDefaultDescription;
    std::string root;
    std::string home;
    std::string profileDir;
    std::string manifestDir;
    std::string report;  // doctor: the support report's file
};

// Reads the command line; says what is wrong when it cannot be understood.
namespace OptionParser {

// The exit code when the tool stops here (help, version, usage error); empty to run.
// `usesRegistry` tells which platform's options apply.
std::optional<int> Parse(const std::vector<std::string>& arguments, bool usesRegistry,
                         Options& options, std::ostream& out, std::ostream& err);

}  // namespace OptionParser

}  // namespace browser_extensions::registration
