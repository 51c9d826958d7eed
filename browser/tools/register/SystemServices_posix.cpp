#include "SystemServices.h"

#include "SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace browser_extensions::registration {
namespace {

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') {
        path.pop_back();
    }
    return path;
}

std::string HomeFolder(const PathSettings& settings) {
    if (!settings.home.empty()) {
        return settings.home;
    }
    const char* home = std::getenv("HOME");
    return home != nullptr ? home : "";
}

}  // namespace

bool SystemServices::UsesRegistry() {
    return false;
}

std::vector<Location> SystemServices::BrowserLocations(Browser browser, Scope scope,
                                                       const PathSettings& settings,
                                                       std::string& error) {
    const BrowserFacts& facts = Browsers::Facts(browser);
    std::string folder;
    if (scope == Scope::User) {
        const std::string home = HomeFolder(settings);
        if (home.empty() || home.front() != '/') {
            error = "the home folder is unknown: set HOME or pass --home DIR";
            return {};
        }
        folder = WithoutTrailingSlash(home) + "/" + facts.linuxUserFolder;
    } else {
        folder = facts.linuxSystemFolder;
    }
    return {
        Location{browser, scope, StoreKind::Folder, WithoutTrailingSlash(settings.root) + folder}};
}

std::vector<PolicyLocation> SystemServices::PolicyLocations(Browser browser,
                                                            const PathSettings& settings) {
    // managed/ holds what applies, recommended/ what users may change.
    const std::string folder = Browsers::Facts(browser).linuxPolicyFolder;
    if (folder.empty()) {
        return {};
    }
    const std::string base = WithoutTrailingSlash(settings.root) + folder;
    return {PolicyLocation{StoreKind::Folder, PolicyLevel::Mandatory, base + "/managed"},
            PolicyLocation{StoreKind::Folder, PolicyLevel::Recommended, base + "/recommended"}};
}

std::string SystemServices::HostFileName() {
    return "Quenlow";
}

std::string SystemServices::ToolFolder() {
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string(".") : self.parent_path().string();
}

bool SystemServices::RelativeHostPathAllowed() {
    return false;
}

bool SystemServices::IsExecutable(const std::string& path, std::string& why) {
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

bool SystemServices::WriteFile(const std::string& path, const std::string& text,
                               std::string& error) {
    return SafeFile::Replace(path, text, error);
}

bool SystemServices::SetKeyDefault(const std::string&, const std::string&, std::string& error) {
    error = "there is no registry on this system";
    return false;
}

bool SystemServices::DeleteKey(const std::string&, std::string& error) {
    error = "there is no registry on this system";
    return false;
}

RegistryEntry SystemServices::ReadKey(const std::string&) {
    return {};
}

std::vector<std::string> SystemServices::SubkeysOf(const std::string&) {
    return {};
}

std::vector<RegistryValue> SystemServices::ValuesOf(const std::string&) {
    return {};
}

}  // namespace browser_extensions::registration
