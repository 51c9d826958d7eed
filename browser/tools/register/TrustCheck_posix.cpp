#include "RealSystemServices.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

namespace browser_extensions::registration {
// The real services' trust check: owners and modes from the top down to the path.
namespace {

bool TrustedOwner(uid_t owner) {
    return owner == 0 || owner == ::geteuid();
}

// A folder with the sticky bit lets others add names but not replace one they do not own.
bool OthersCanReplace(const struct stat& status) {
    if (S_ISLNK(status.st_mode)) {
        return false;  // a link's own mode means nothing; its owner and its folder do
    }
    const bool groupWrite = (status.st_mode & S_IWGRP) != 0 && status.st_gid != 0;
    const bool otherWrite = (status.st_mode & S_IWOTH) != 0;
    const bool sticky = S_ISDIR(status.st_mode) && (status.st_mode & S_ISVTX) != 0;
    return (groupWrite || otherWrite) && !sticky;
}

std::string Describe(const std::string& path, const struct stat& status) {
    if (!TrustedOwner(status.st_uid)) {
        return path + " belongs to uid " + std::to_string(status.st_uid) + ", not to root";
    }
    if (OthersCanReplace(status)) {
        return path + " can be written by " +
               ((status.st_mode & S_IWOTH) != 0 ? "every user" : "its group") + " (mode " +
               std::to_string((status.st_mode >> 6) & 7) +
               std::to_string((status.st_mode >> 3) & 7) + std::to_string(status.st_mode & 7) + ")";
    }
    return "";
}

// Each folder from the top down to `path` itself, as written (links not resolved).
std::string CheckEachPart(const std::filesystem::path& path) {
    std::filesystem::path reached;
    for (const std::filesystem::path& part : path) {
        reached /= part;
        struct stat status {};
        if (::lstat(reached.c_str(), &status) != 0) {
            return "";
        }
        const std::string finding = Describe(reached.string(), status);
        if (!finding.empty()) {
            return finding;
        }
    }
    return "";
}

}  // namespace

std::string RealSystemServices::WhoElseCanWrite(const std::string& path) const {
    const std::filesystem::path written = std::filesystem::path(path).lexically_normal();
    std::string finding = CheckEachPart(written);
    if (!finding.empty()) {
        return finding;
    }
    // Where the links lead counts as much as the links.
    std::error_code error;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(written, error);
    return error || resolved == written ? "" : CheckEachPart(resolved);
}

}  // namespace browser_extensions::registration
