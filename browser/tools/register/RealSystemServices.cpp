#include "RealSystemServices.h"

#include "Files.h"

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
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

std::vector<std::string> RealSystemServices::NamesIn(const std::string& folder) const {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(PathOf(folder), error), end; !error && it != end;
         it.increment(error)) {
        names.push_back(Utf8Of(it->path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string RealSystemServices::TemporaryName(const std::string& fileName) {
    static const char kDigits[] = "0123456789abcdef";
    std::random_device source;
    std::string suffix;
    for (int i = 0; i < 4; ++i) {
        std::uint32_t bits = source();
        for (int nibble = 0; nibble < 8; ++nibble, bits >>= 4) {
            suffix += kDigits[bits & 0xF];
        }
    }
    return "." + fileName + "." + suffix + ".tmp";
}

}  // namespace browser_extensions::registration
