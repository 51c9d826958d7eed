#include "Tool.h"

#include "Commands.h"

namespace browser_extensions::registration {

int Tool::Run(const std::vector<std::string>& arguments, SystemServices& services,
              std::ostream& out, std::ostream& err) {
    Options options;
    if (const std::optional<int> stop =
            OptionParser::Parse(arguments, services.UsesRegistry(), options, out, err)) {
        return *stop;
    }
    switch (options.command) {
        case Command::Install:
            return Commands::Install(services, options, out, err);
        case Command::Uninstall:
            return Commands::Uninstall(services, options, out, err);
        case Command::List:
            return Commands::List(services, options, out, err);
        case Command::Doctor:
            return Commands::Doctor(services, options, out, err);
    }
    return 2;
}

}  // namespace browser_extensions::registration
