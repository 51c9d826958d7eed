#include "RealSystemServices.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace browser_extensions::registration {

bool RealSystemServices::UsesRegistry() const {
    return false;
}

std::string RealSystemServices::HomeFolder() const {
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

std::string RealSystemServices::ConfigFolder() const {
    for (const char* name : {"CHROME_CONFIG_HOME", "XDG_CONFIG_HOME"}) {
        const char* folder = std::getenv(name);
        if (folder != nullptr && *folder != '\0') {
            return folder;
        }
    }
    return "";
}

std::string RealSystemServices::ToolFolder() const {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

bool RealSystemServices::IsExecutable(const std::string& path, std::string& why) const {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        why = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        why = "not a regular file";
        return false;
    }
    if (::access(path.c_str(), X_OK) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
        why = std::string("not executable (mode ") + mode + ")";
        return false;
    }
    return true;
}

bool RealSystemServices::SetKeyDefault(const std::string&, const std::string&, std::string& error) {
    error = "there is no registry on this system";
    return false;
}

bool RealSystemServices::DeleteKey(const std::string&, std::string& error) {
    error = "there is no registry on this system";
    return false;
}

RegistryEntry RealSystemServices::ReadKey(const std::string&) const {
    return {};
}

std::vector<std::string> RealSystemServices::SubkeysOf(const std::string&) const {
    return {};
}

std::vector<RegistryValue> RealSystemServices::ValuesOf(const std::string&) const {
    return {};
}

}  // namespace browser_extensions::registration
