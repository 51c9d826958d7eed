#pragma once

#include <string>

namespace browser_extensions::registration {

// Portable reckoning with UTF-8 paths; what is on the disk is a question for SystemServices.
namespace Files {

std::string Join(const std::string& folder, const std::string& name);
std::string FolderOf(const std::string& path);
std::string FileNameOf(const std::string& path);
bool IsAbsolute(const std::string& path);
// `path` against the current folder when it is relative.
std::string Absolute(const std::string& path);

}  // namespace Files

}  // namespace browser_extensions::registration
