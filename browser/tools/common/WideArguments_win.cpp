#include "WideArguments.h"

#include "platform/TextEncoding.h"

namespace browser_extensions::tools {

std::vector<std::string> Utf8Arguments(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        arguments.push_back(WideToUtf8(argv[i]));
    }
    return arguments;
}

}  // namespace browser_extensions::tools
