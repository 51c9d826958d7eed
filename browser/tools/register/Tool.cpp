#include "Tool.h"

#include "Doctor.h"
#include "Installer.h"
#include "Lister.h"
#include "Options.h"

namespace browser_extensions::registration {

int Tool::Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    Options options;
    if (const std::optional<int> stop = OptionParser::Parse(arguments, options, out, err)) {
        return *stop;
    }
    switch (options.command) {
        case Command::Install:
            return Installer::Install(options, out, err);
        case Command::Uninstall:
            return Installer::Uninstall(options, out, err);
        case Command::List:
            return Lister::List(options, out, err);
        case Command::Doctor:
            return Doctor::Run(options, out, err);
    }
    return 2;
}

}  // namespace browser_extensions::registration
