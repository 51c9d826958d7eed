#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace browser_extensions::talk {

struct TalkOptions {
    std::string hostPath;
    std::vector<std::string> hostArguments;
    std::string origin = "chrome-extension://knldjmfmopnpolahpmmgbagdohdnhkik/";
    bool passOrigin = true;
    std::optional<std::string> inputFile;  // else the tool's standard input
    bool rawHex = false;                   // input lines are bytes in hex, sent unframed
    bool showHex = false;
    bool pretty = false;
    double waitSeconds = 1.0;              // quiet time after the last message before closing
    std::optional<double> timeoutSeconds;  // overall limit; 0 = none
    std::optional<std::size_t> expectFrames;
    std::optional<std::string> transcriptFile;
    std::map<std::string, std::string> environment;
    double paceSeconds = 0;         // pause after each message
    double killAfterSeconds = 2.0;  // after closing the host's input
    std::size_t maxPrint = 4000;    // bytes of one printed value; 0 = all
};

// Reads the command line (without the program name).
class TalkOptionsParser {
  public:
    // The exit code when the tool stops here (help, version, usage error); empty to run.
    static std::optional<int> Parse(const std::vector<std::string>& args, TalkOptions& options,
                                    std::ostream& out, std::ostream& err);
};

}  // namespace browser_extensions::talk
