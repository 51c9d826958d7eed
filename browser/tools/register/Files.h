#pragma once

#include <string>
#include <vector>

namespace browser_extensions::registration {

// Portable file-system questions on UTF-8 paths.
class Files {
  public:
    static std::string Join(const std::string& folder, const std::string& name);
    static std::string FolderOf(const std::string& path);
    static std::string FileNameOf(const std::string& path);
    static bool IsAbsolute(const std::string& path);
    // `path` against the current folder when it is relative.
    static std::string Absolute(const std::string& path);
    static bool IsFolder(const std::string& path);
    static bool IsRegularFile(const std::string& path);
    static bool Exists(const std::string& path);
    static bool ReadText(const std::string& path, std::string& text);
    static bool Remove(const std::string& path, std::string& error);
    // Names of the files in `folder` ending in `suffix`, sorted.
    static std::vector<std::string> NamesEndingWith(const std::string& folder,
                                                    const std::string& suffix);
    // Paths of the regular files in `folder`, sorted by name.
    static std::vector<std::string> RegularFilesIn(const std::string& folder);
};

}  // namespace browser_extensions::registration
