#include "Files.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace browser_extensions::registration {
namespace fs = std::filesystem;
namespace {

fs::path PathOf(const std::string& utf8) {
    return fs::u8path(utf8);
}

std::string Utf8Of(const fs::path& path) {
    return path.u8string();
}

}  // namespace

std::string Files::Join(const std::string& folder, const std::string& name) {
    return Utf8Of(PathOf(folder) / PathOf(name));
}

std::string Files::FolderOf(const std::string& path) {
    return Utf8Of(PathOf(path).parent_path());
}

std::string Files::FileNameOf(const std::string& path) {
    return Utf8Of(PathOf(path).filename());
}

bool Files::IsAbsolute(const std::string& path) {
    return PathOf(path).is_absolute();
}

std::string Files::Absolute(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(PathOf(path), error).lexically_normal();
    return error ? path : Utf8Of(absolute);
}

bool Files::IsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(PathOf(path), error);
}

bool Files::IsRegularFile(const std::string& path) {
    std::error_code error;
    return fs::is_regular_file(PathOf(path), error);
}

bool Files::Exists(const std::string& path) {
    std::error_code error;
    return fs::exists(PathOf(path), error);
}

bool Files::ReadText(const std::string& path, std::string& text) {
    std::ifstream file(PathOf(path), std::ios::binary);
    if (!file) {
        return false;
    }
    std::ostringstream content;
    content << file.rdbuf();
    text = content.str();
    return !file.bad();
}

bool Files::Remove(const std::string& path, std::string& error) {
    std::error_code code;
    if (!fs::remove(PathOf(path), code) && code) {
        error = "cannot remove " + path + ": " + code.message();
        return false;
    }
    return true;
}

std::vector<std::string> Files::NamesEndingWith(const std::string& folder,
                                                const std::string& suffix) {
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

std::vector<std::string> Files::RegularFilesIn(const std::string& folder) {
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
