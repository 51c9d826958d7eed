#include "RealSystemServices.h"

#include "Files.h"
#include "SafeFile.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

// The file-system services every platform shares: std::filesystem on UTF-8 paths.
namespace browser_extensions::registration {
namespace fs = std::filesystem;
using Files::PathOf;
using Files::Utf8Of;

bool RealSystemServices::IsFolder(const std::string& path) const {
    std::error_code error;
    return fs::is_directory(PathOf(path), error);
}

bool RealSystemServices::IsRegularFile(const std::string& path) const {
    std::error_code error;
    return fs::is_regular_file(PathOf(path), error);
}

bool RealSystemServices::Exists(const std::string& path) const {
    std::error_code error;
    return fs::exists(PathOf(path), error);
}

bool RealSystemServices::ReadText(const std::string& path, std::string& text) const {
    std::ifstream file(PathOf(path), std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return !file.bad();
}

bool RealSystemServices::Remove(const std::string& path, std::string& error) {
    return SafeFile::RemoveFile(path, error);
}

std::vector<std::string> RealSystemServices::NamesEndingWith(const std::string& folder,
                                                             const std::string& suffix) const {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(PathOf(folder), error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = Utf8Of(it->path().filename());
        if (name.size() > suffix.size() &&
            name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> RealSystemServices::RegularFilesIn(const std::string& folder) const {
    std::vector<std::string> paths;
    std::error_code error;
    for (fs::directory_iterator it(PathOf(folder), error), end; !error && it != end;
         it.increment(error)) {
        std::error_code typeError;
        if (it->is_regular_file(typeError)) {
            paths.push_back(Utf8Of(it->path()));
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

}  // namespace browser_extensions::registration
