#include "Tool.h"

#include "Doctor.h"
#include "Installer.h"
#include "Lister.h"
#include "Options.h"

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
            return Installer(services).Install(options, out, err);
        case Command::Uninstall:
            return Installer(services).Uninstall(options, out, err);
        case Command::List:
            return Lister(services).List(options, out, err);
        case Command::Doctor:
            return Doctor(services).Run(options, out, err);
    }
    return 2;
}

}  // namespace browser_extensions::registration
