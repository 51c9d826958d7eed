#include "Files.h"

#include <filesystem>
#include <system_error>

namespace browser_extensions::registration::Files {
namespace fs = std::filesystem;

fs::path PathOf(const std::string& utf8) {
    return fs::u8path(utf8);
}

std::string Utf8Of(const fs::path& path) {
    return path.u8string();
}

std::string CommandInterpreterCharacters(const std::string& path) {
    std::string found;
    for (char special : std::string("&^%|<>()")) {
        if (path.find(special) != std::string::npos) {
            found += std::string(found.empty() ? "" : " ") + special;
        }
    }
    return found;
}

std::string Join(const std::string& folder, const std::string& name) {
    return Utf8Of(PathOf(folder) / PathOf(name));
}

std::string FolderOf(const std::string& path) {
    return Utf8Of(PathOf(path).parent_path());
}

std::string FileNameOf(const std::string& path) {
    return Utf8Of(PathOf(path).filename());
}

bool IsAbsolute(const std::string& path) {
    return PathOf(path).is_absolute();
}

std::string Absolute(const std::string& path) {
    std::error_code error;
    const fs::path absolute = fs::absolute(PathOf(path), error).lexically_normal();
    return error ? path : Utf8Of(absolute);
}

}  // namespace browser_extensions::registration::Files
